// The parameter table: declaration, normalisation and the lock-free changed-flag bookkeeping.
#include "params/ParameterTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace flanger::params {

struct ParameterTable::Slot {
    int32_t index = -1;
    std::atomic<float> value{0.0f};  // writers: any thread; reader: any thread (the audio thread takes it)
    float minimum = 0.0f;
    float maximum = 1.0f;
    float step = 0.1f;
    char name[ParameterEntry::kTextSize] = {};
    char unit[ParameterEntry::kTextSize] = {};
    bool notify = true;
    int32_t storageSize = 4;
    float defaultValue = 0.0f;
    std::atomic<int32_t> changed{1};  // raised by setters (release), consumed by takers (acquire)
    float scale = 1.0f;
    float stepCount = 100.0f;
    std::unique_ptr<unsigned char[]> block;  // only for storageSize > 4
};

namespace {

void copyText(char* destination, const char* source) {
    std::memset(destination, 0, ParameterEntry::kTextSize);
    if (source) std::strncpy(destination, source, ParameterEntry::kTextSize - 1);
}

}  // namespace

ParameterTable::ParameterTable(int count)
    : entryCount(std::max(count, 0)), slots(new Slot[static_cast<size_t>(std::max(count, 0))]) {
    // Every slot starts as the default entry, flagged as changed; the count matches the flags.
    changedEntries.store(entryCount, std::memory_order_relaxed);
}

ParameterTable::~ParameterTable() = default;

void ParameterTable::setPlain(int index, float value) {
    if (!valid(index)) return;
    slots[index].value.store(value, std::memory_order_relaxed);
    if (slots[index].notify) markChanged(index);
}

float ParameterTable::takePlain(int index) {
    if (!valid(index)) return 0.0f;
    // Consume the flag before reading, so a value stored after this point raises it again.
    if (slots[index].notify) clearChanged(index);
    return peekPlain(index);
}

float ParameterTable::peekPlain(int index) const {
    if (!valid(index)) return 0.0f;
    return slots[index].value.load(std::memory_order_relaxed);
}

void ParameterTable::setNormalized(int index, float normalized) {
    if (!valid(index)) return;
    setPlain(index, denormalize(index, normalized));
}

float ParameterTable::takeNormalized(int index) {
    if (!valid(index)) return 0.0f;
    return normalize(index, takePlain(index));
}

float ParameterTable::peekNormalized(int index) const {
    if (!valid(index)) return 0.0f;
    return normalize(index, peekPlain(index));
}

namespace {

// The part of [offset, offset + length) that lies inside a block of `size` bytes; 0 if none.
int boundedLength(int size, int length, int offset) {
    if (length == 0) length = size;
    if (length < 0 || offset < 0 || offset >= size) return 0;
    return std::min(length, size - offset);
}

}  // namespace

void ParameterTable::setBytes(int index, const void* source, int length, int offset) {
    if (!valid(index) || !source || !slots[index].block) return;
    const int n = boundedLength(slots[index].storageSize, length, offset);
    if (n <= 0) return;
    std::memcpy(slots[index].block.get() + offset, source, static_cast<size_t>(n));
    if (slots[index].notify) markChanged(index);
}

int ParameterTable::takeBytes(int index, void* destination, int length, int offset) {
    const int n = getBytes(index, destination, length, offset);
    if (valid(index) && slots[index].notify) clearChanged(index);
    return n;
}

int ParameterTable::getBytes(int index, void* destination, int length, int offset) const {
    if (!valid(index) || !destination || !slots[index].block) return 0;
    const int n = boundedLength(slots[index].storageSize, length, offset);
    if (n <= 0) return 0;
    std::memcpy(destination, slots[index].block.get() + offset, static_cast<size_t>(n));
    return n;
}

void ParameterTable::markChanged(int index) {
    if (!valid(index)) return;
    if (slots[index].changed.exchange(1, std::memory_order_acq_rel) == 0)
        changedEntries.fetch_add(1, std::memory_order_acq_rel);
}

void ParameterTable::clearChanged(int index) {
    if (!valid(index)) return;
    // Every flag that goes down takes exactly one off the count, even when that briefly takes
    // the count below 0: a marker on another thread may have raised the flag (which this clear
    // consumed) without having added its one yet. Refusing to go below 0 there would leave the
    // count one too high for good; changedCount() reads a passing negative value as 0.
    if (slots[index].changed.exchange(0, std::memory_order_acq_rel) != 0)
        changedEntries.fetch_sub(1, std::memory_order_acq_rel);
}

void ParameterTable::declareParameter(int index, float value, float minimum, float maximum, float step,
                                      const char* unit, const char* name, bool notify, int storageSize) {
    ParameterEntry entry;
    entry.index = index;
    entry.value = value;
    entry.minimum = minimum;
    entry.maximum = maximum;
    entry.step = step;
    copyText(entry.unit, unit);
    copyText(entry.name, name);
    entry.notify = notify ? 1 : 0;
    entry.storageSize = storageSize;
    entry.defaultValue = value;
    entry.changed = 1;
    declareEntry(entry);
}

void ParameterTable::declareEntry(const ParameterEntry& entry) {
    if (!valid(entry.index)) return;
    Slot& slot = slots[entry.index];
    slot.index = entry.index;
    slot.value.store(entry.value, std::memory_order_relaxed);
    slot.minimum = entry.minimum;
    slot.maximum = entry.maximum;
    slot.step = entry.step;
    std::memcpy(slot.name, entry.name, sizeof slot.name);
    std::memcpy(slot.unit, entry.unit, sizeof slot.unit);
    slot.name[sizeof slot.name - 1] = '\0';
    slot.unit[sizeof slot.unit - 1] = '\0';
    slot.notify = entry.notify != 0;
    slot.storageSize = entry.storageSize;
    slot.defaultValue = entry.defaultValue;
    slot.block.reset();
    if (entry.storageSize > 4) slot.block.reset(new unsigned char[static_cast<size_t>(entry.storageSize)]());

    const float range = entry.maximum - entry.minimum;
    // A range of exactly 1 keeps the scale exact; an empty range normalises everything to 0.
    slot.scale = range == 1.0f ? 1.0f : (range != 0.0f ? 1.0f / range : 0.0f);
    slot.stepCount = entry.step > 0.0f ? range / entry.step : 0.0f;

    // The entry arrives flagged when it notifies (declared entries start out changed).
    if (slot.notify && entry.changed)
        markChanged(entry.index);
    else
        clearChanged(entry.index);
}

bool ParameterTable::isChanged(int index) const {
    return valid(index) && slots[index].changed.load(std::memory_order_acquire) != 0;
}

int ParameterTable::changedCount() const {
    return changedEntries.load(std::memory_order_acquire);
}

float ParameterTable::defaultValue(int index) const {
    return valid(index) ? slots[index].defaultValue : 0.0f;
}
float ParameterTable::minimum(int index) const {
    return valid(index) ? slots[index].minimum : 0.0f;
}
float ParameterTable::maximum(int index) const {
    return valid(index) ? slots[index].maximum : 0.0f;
}
float ParameterTable::step(int index) const {
    return valid(index) ? slots[index].step : 0.0f;
}
const char* ParameterTable::name(int index) const {
    return valid(index) ? slots[index].name : "";
}
const char* ParameterTable::unit(int index) const {
    return valid(index) ? slots[index].unit : "";
}
bool ParameterTable::notifies(int index) const {
    return valid(index) && slots[index].notify;
}

float ParameterTable::normalize(int index, float plain) const {
    if (!valid(index)) return 0.0f;
    return (plain - slots[index].minimum) * slots[index].scale;
}

float ParameterTable::denormalize(int index, float normalized) const {
    if (!valid(index)) return 0.0f;
    const Slot& slot = slots[index];
    if (slot.stepCount > 0.0f) {
        const float value = std::floor(normalized * slot.stepCount + 0.5f) * slot.step + slot.minimum;
        // Rounding residue next to zero (and anything else smaller than one step) is zero.
        if (slot.step > std::fabs(value)) return 0.0f;
        return value;
    }
    return slot.minimum + (slot.maximum - slot.minimum) * normalized;
}

bool ParameterTable::hasByteBlock(int index) const {
    return valid(index) && slots[index].storageSize != 4;
}

int ParameterTable::storageSize(int index) const {
    return valid(index) ? std::max(slots[index].storageSize, 0) : 0;
}

float ParameterTable::stepCount(int index) const {
    return valid(index) ? slots[index].stepCount : 0.0f;
}

void ParameterTable::clearAllChanged() {
    // Each clear keeps the count exact, so it reaches 0 without being forced there: forcing it
    // could hide a flag that another thread raises meanwhile.
    for (int i = 0; i < entryCount; ++i) clearChanged(i);
}

void ParameterTable::refreshAll() {
    clearAllChanged();
    for (int i = 0; i < entryCount; ++i)
        if (slots[i].notify) markChanged(i);
}

void ParameterTable::raiseBulkLoad() {
    bulkLoads.fetch_add(1, std::memory_order_acq_rel);
}

void ParameterTable::lowerBulkLoad() {
    int32_t current = bulkLoads.load(std::memory_order_relaxed);
    while (current > 0 && !bulkLoads.compare_exchange_weak(current, current - 1, std::memory_order_acq_rel)) {
    }
}

int ParameterTable::bulkLoadCount() const {
    return bulkLoads.load(std::memory_order_acquire);
}

bool ParameterTable::editorFlag() const {
    return editorFlagValue.load(std::memory_order_relaxed);
}
void ParameterTable::setEditorFlag(bool flag) {
    editorFlagValue.store(flag, std::memory_order_relaxed);
}
int ParameterTable::editorCounter() const {
    return editorCounterValue.load(std::memory_order_relaxed);
}
void ParameterTable::setEditorCounter(int counter) {
    editorCounterValue.store(counter, std::memory_order_relaxed);
}

}  // namespace flanger::params
