// A small table of named parameters: plain values with ranges, steps, units, normalisation to
// 0 … 1, and a changed flag per entry that carries each change from the writing threads (host,
// editor, program loads) to the audio thread without locks.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace flanger::params {

// One entry as it is declared. The table keeps its own copy; `value` and `changed` then live on
// as atomics inside the table.
struct ParameterEntry {
    static constexpr int kTextSize = 64;

    int32_t index = -1;
    float value = 0.0f;    // plain value, in the entry's own units
    float minimum = 0.0f;  // plain value at normalised 0
    float maximum = 1.0f;  // plain value at normalised 1
    float step = 0.1f;     // quantum of the plain value; 0 means continuous
    char name[kTextSize] = {};
    char unit[kTextSize] = {};
    int32_t notify = 1;       // setting flags the entry as changed; taking clears the flag
    int32_t storageSize = 4;  // 4: a float entry; larger: the entry owns a byte block of that size
    float defaultValue = 0.0f;
    int32_t changed = 1;
    float scale = 1.0f;        // 1 / (maximum - minimum)
    float stepCount = 100.0f;  // (maximum - minimum) / step, or 0 when continuous
};

// Threads: entries are declared by the constructor of a derived table, before the table is
// shared. After that any thread may set values; the audio thread takes them. Every piece of
// state that crosses threads is atomic. A value is stored before its changed flag is raised
// (release), and a taker consumes the flag before it reads the value (acquire), so a change that
// arrives while the audio thread takes the previous one is never lost: its flag stays raised.
//
// Indices below 0 or at/after count() are ignored by setters and answer 0 (or "" for texts).
// Values are never clamped to their range here; the signal path clamps what it must.
class ParameterTable {
public:
    explicit ParameterTable(int count);
    virtual ~ParameterTable();

    ParameterTable(const ParameterTable&) = delete;
    ParameterTable& operator=(const ParameterTable&) = delete;

    // Plain values. setPlain flags a notifying entry as changed; takePlain clears that flag
    // first and then reads; peekPlain only reads.
    virtual void setPlain(int index, float value);
    virtual float takePlain(int index);
    virtual float peekPlain(int index) const;

    // The same through normalisation: set stores denormalize(x), take and peek answer normalize(v).
    virtual void setNormalized(int index, float normalized);
    virtual float takeNormalized(int index);
    virtual float peekNormalized(int index) const;

    // Byte blocks of entries declared with storageSize > 4. length 0 means the whole block; the
    // copy is bounded by the block. Entries without a block copy nothing and answer 0. Byte
    // blocks are plain memory: they belong to the thread that loads and saves programs.
    virtual void setBytes(int index, const void* source, int length, int offset);
    virtual int takeBytes(int index, void* destination, int length, int offset);
    virtual int getBytes(int index, void* destination, int length, int offset) const;

    // Changed flags. changedCount() equals the number of raised flags whenever no mark or
    // clear is under way: marking twice counts once, clearing an entry that is not flagged
    // changes nothing.
    virtual void markChanged(int index);
    virtual void clearChanged(int index);

    // Declaration, for the constructors of derived tables. declareParameter copies at most 63
    // characters of unit and name (null reads as ""), sets defaultValue = value and flags the
    // entry as changed when it notifies. An entry that does not notify starts unflagged, so it
    // never holds changedCount above 0.
    virtual void declareParameter(int index, float value, float minimum, float maximum, float step,
                                  const char* unit, const char* name, bool notify = true,
                                  int storageSize = 4);
    virtual void declareEntry(const ParameterEntry& entry);

    int count() const { return entryCount; }
    bool isChanged(int index) const;
    int changedCount() const;
    float defaultValue(int index) const;
    float minimum(int index) const;
    float maximum(int index) const;
    float step(int index) const;
    const char* name(int index) const;
    const char* unit(int index) const;
    bool notifies(int index) const;
    float normalize(int index, float plain) const;
    // Stepped entries: floor(x * stepCount + 0.5) * step + minimum, and a result whose
    // magnitude is below the step comes out as exactly 0. Continuous entries:
    // minimum + (maximum - minimum) * x.
    float denormalize(int index, float normalized) const;
    bool hasByteBlock(int index) const;
    int storageSize(int index) const;  // negative sizes read as 0
    float stepCount(int index) const;
    void clearAllChanged();
    void refreshAll();  // clears every flag, then flags every notifying entry

    // Raised by the program loader for the duration of a load; processing skips applying
    // changes while it is above 0. lowerBulkLoad never takes it below 0.
    void raiseBulkLoad();
    void lowerBulkLoad();
    int bulkLoadCount() const;

    // Maintained by the editor base, read by the effect's processing.
    bool editorFlag() const;
    void setEditorFlag(bool flag);
    int editorCounter() const;
    void setEditorCounter(int counter);

private:
    struct Slot;

    bool valid(int index) const { return index >= 0 && index < entryCount; }

    int entryCount;
    std::unique_ptr<Slot[]> slots;
    std::atomic<int32_t> changedEntries{0};  // writers: every setter and taker; reader: the audio thread
    std::atomic<int32_t> bulkLoads{0};       // writer: the program loader; reader: the audio thread
    std::atomic<bool> editorFlagValue{
        true};  // writer: the editor's idle; reader and clearer: the audio thread
    std::atomic<int32_t> editorCounterValue{0};  // writer: the editor; reader: the audio thread
};

}  // namespace flanger::params
