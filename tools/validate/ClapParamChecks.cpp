// CLAP parameters: infos and defaults, texts both ways and into small buffers, fuzzed and
// out-of-range values by events and flush, hostile events, and value events heard from exactly
// their frame.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tools/validate/Categories.h"
#include "tools/validate/ClapRig.h"

namespace flanger::tools {

namespace {

using namespace claprig;

// Each info on its own and against the others; defaults inside ranges and read back after create.
void checkInfos(Instance& instance, const std::vector<clap_param_info>& infos, Findings& findings) {
    const clap_plugin* plugin = instance.plugin();
    const uint32_t count = instance.params->count(plugin);
    if (infos.size() != count)
        findings.fail("get_info answered for %zu of %u parameters", infos.size(), count);
    clap_param_info spare{};
    CallTrace::note("params.get_info(%u): one past the last", count);
    if (instance.params->getInfo(plugin, count, &spare))
        findings.fail("get_info answered true for index %u of %u", count, count);
    CallTrace::note("params.get_info(0, null)");
    if (count > 0 && instance.params->getInfo(plugin, 0, nullptr))
        findings.fail("get_info answered true into a null info");
    for (size_t i = 0; i < infos.size(); ++i) {
        const clap_param_info& info = infos[i];
        const std::string what = "parameter " + std::to_string(info.id);
        if (info.id == kInvalidId) findings.fail("parameter %zu has the invalid id", i);
        for (size_t j = 0; j < i; ++j)
            if (infos[j].id == info.id)
                findings.fail("parameters %zu and %zu share the id %u", j, i, info.id);
        if (const std::string p = textProblem(reinterpret_cast<const unsigned char*>(info.name), kNameSize);
            !p.empty())
            findings.fail("%s: its name is %s", what.c_str(), p.c_str());
        else if (info.name[0] == 0)
            findings.fail("%s has no name", what.c_str());
        if (const std::string p = textProblem(reinterpret_cast<const unsigned char*>(info.module), kPathSize);
            !p.empty())
            findings.fail("%s: its module path is %s", what.c_str(), p.c_str());
        if (!std::isfinite(info.minValue) || !std::isfinite(info.maxValue) || info.minValue > info.maxValue) {
            findings.fail("%s has the range %g to %g", what.c_str(), info.minValue, info.maxValue);
            continue;
        }
        if (!inRange(info.defaultValue, info))
            findings.fail("%s: its default %g lies outside %g to %g", what.c_str(), info.defaultValue,
                          info.minValue, info.maxValue);
        if ((info.flags & kParamIsStepped) != 0 &&
            (info.minValue != std::round(info.minValue) || info.maxValue != std::round(info.maxValue) ||
             info.defaultValue != std::round(info.defaultValue)))
            findings.fail("%s is stepped, but its range or default (%g to %g, %g) is not whole", what.c_str(),
                          info.minValue, info.maxValue, info.defaultValue);
        const std::optional<double> v = instance.value(info.id);
        if (!v)
            findings.fail("get_value(%u) answered false", info.id);
        else if (!sameValue(*v, info.defaultValue, info))
            findings.fail("%s reads %g after create, not its default %g", what.c_str(), *v,
                          info.defaultValue);
    }
    clap_id unknown = 0;
    while (std::any_of(infos.begin(), infos.end(), [&](const clap_param_info& i) { return i.id == unknown; }))
        ++unknown;
    double v = 0.0;
    CallTrace::note("params.get_value(unknown id %u)", unknown);
    if (instance.params->getValue(plugin, unknown, &v))
        findings.fail("get_value answered true for the unknown id %u", unknown);
    CallTrace::note("params.get_value(null)");
    if (!infos.empty() && instance.params->getValue(plugin, infos[0].id, nullptr))
        findings.fail("get_value answered true into a null value");
    char text[16];
    CallTrace::note("params.value_to_text(unknown id %u)", unknown);
    if (instance.params->valueToText(plugin, unknown, 0.0, text, sizeof text))
        findings.fail("value_to_text answered true for the unknown id %u", unknown);
    CallTrace::note("params.text_to_value(unknown id %u)", unknown);
    if (instance.params->textToValue(plugin, unknown, "0", &v))
        findings.fail("text_to_value answered true for the unknown id %u", unknown);
}

// The values a parameter's texts are checked at: the ends, the default, and steps between (every
// step of a stepped parameter with few).
std::vector<double> probeValues(const clap_param_info& info) {
    std::vector<double> values{info.minValue, info.maxValue, info.defaultValue};
    const double span = info.maxValue - info.minValue;
    const bool stepped = (info.flags & kParamIsStepped) != 0;
    if (stepped && span <= 64) {
        for (double v = info.minValue + 1; v < info.maxValue; v += 1) values.push_back(v);
    } else {
        for (int k = 1; k < 16; ++k) {
            double v = info.minValue + span * k / 16.0;
            if (stepped) v = std::round(v);
            values.push_back(v);
        }
    }
    return values;
}

// Texts both ways: each value's text read back gives the same text (and for stepped ones the
// same value); texts fit small buffers; nonsense is refused or read as a value in range.
void checkConversions(Instance& instance, const std::vector<clap_param_info>& infos, Findings& findings,
                      int& conversions) {
    const char* nonsense[] = {"",      " ",      "nonsense", "nan", "inf",      "-inf",
                              "1e999", "-1e999", "0x",       "%",   "\xff\xfe", "--1"};
    const std::string huge(8192, '9');
    for (const auto& info : infos) {
        const std::string what = "parameter " + std::to_string(info.id) + " (" + info.name + ")";
        int shown = 0, read = 0, refusedShown = 0, refusedRead = 0;
        bool failed = false;
        for (double v : probeValues(info)) {
            std::string problem;
            const std::optional<std::string> text = instance.text(info.id, v, &problem);
            if (!text) {
                ++refusedShown;
                continue;
            }
            ++shown;
            if (!problem.empty()) {
                findings.fail("%s: value_to_text(%g) wrote a text %s", what.c_str(), v, problem.c_str());
                failed = true;
                break;
            }
            const std::optional<double> back = instance.parse(info.id, *text);
            if (!back) {
                ++refusedRead;
                continue;
            }
            ++read;
            ++conversions;
            if (!inRange(*back, info)) {
                findings.fail("%s: its text \"%s\" of %g reads as %.17g, outside %.17g to %.17g",
                              what.c_str(), text->c_str(), v, *back, info.minValue, info.maxValue);
                failed = true;
                break;
            }
            const std::optional<std::string> again = instance.text(info.id, *back);
            if (!again || *again != *text) {
                findings.fail("%s: %g shows as \"%s\", which reads as %g, which shows as \"%s\"",
                              what.c_str(), v, text->c_str(), *back, again ? again->c_str() : "(refused)");
                failed = true;
                break;
            }
            if ((info.flags & kParamIsStepped) != 0 && *back != v) {
                findings.fail("%s is stepped: %g shows as \"%s\", which reads as %g", what.c_str(), v,
                              text->c_str(), *back);
                failed = true;
                break;
            }
        }
        if (failed) continue;
        // A parameter shows every value or none, and reads every text it shows or none.
        if (shown > 0 && refusedShown > 0)
            findings.fail("%s: value_to_text refused %d of its values in range and took %d", what.c_str(),
                          refusedShown, shown);
        if (read > 0 && refusedRead > 0)
            findings.fail("%s: text_to_value refused %d of its own texts and read %d", what.c_str(),
                          refusedRead, read);
        if (shown == 0)
            findings.note("%s shows no texts", what.c_str());
        else if (read == 0)
            findings.note("%s reads no texts", what.c_str());

        // Values outside the range, or no numbers at all: refused, or shown as printable text.
        for (double v : {info.minValue - 1.0, info.maxValue + 1.0, info.maxValue * 1e6 + 1e6, std::nan(""),
                         std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
            std::string problem;
            if (instance.text(info.id, v, &problem) && !problem.empty())
                findings.fail("%s: value_to_text(%g) wrote a text %s", what.c_str(), v, problem.c_str());
        }
        // Small buffers: a text is cut, never written past the capacity (which ends at a guard page).
        for (size_t capacity : {size_t{1}, size_t{2}, size_t{5}, size_t{8}}) {
            std::string problem;
            if (instance.text(info.id, info.defaultValue, &problem, capacity) && !problem.empty() &&
                problem.rfind("truncated UTF-8", 0) != 0) {
                findings.fail("%s: value_to_text into %zu bytes wrote a text %s", what.c_str(), capacity,
                              problem.c_str());
                break;
            }
        }
        CallTrace::note("params.value_to_text(%u, capacity 0)", info.id);
        GuardedBlock none(0);
        if (instance.params->valueToText(instance.plugin(), info.id, info.defaultValue,
                                         reinterpret_cast<char*>(none.data()), 0))
            findings.fail("%s: value_to_text answered true into 0 bytes", what.c_str());
        for (const char* t : nonsense) {
            if (const std::optional<double> v = instance.parse(info.id, t); v && !inRange(*v, info)) {
                findings.fail("%s: the text \"%s\" reads as %g, outside its range", what.c_str(), t, *v);
                break;
            }
        }
        if (const std::optional<double> v = instance.parse(info.id, huge); v && !inRange(*v, info))
            findings.fail("%s: a text of 8192 nines reads as %g, outside its range", what.c_str(), *v);
        double untouched = 0.0;
        CallTrace::note("params.text_to_value(%u, null text)", info.id);
        if (instance.params->textToValue(instance.plugin(), info.id, nullptr, &untouched))
            findings.fail("%s: text_to_value answered true for a null text", what.c_str());
    }
}

// Values within range through events, random blocks: the sound stays finite and every value
// reads back as sent. Then values beyond every bound: the sound stays finite and every value
// stays within range.
void fuzzValues(Instance& instance, const std::vector<clap_param_info>& infos, const CheckContext& context,
                Findings& findings) {
    if (infos.empty()) return;
    instance.activate(kRate, 1, 2048);
    Block block(2048);
    std::mt19937 random(context.seed);
    TestSignal signal(SignalKind::Noise, static_cast<float>(kRate), context.seed);
    const int calls = context.quick ? 300 : 1500;
    for (bool bounds : {false, true}) {
        std::vector<std::optional<double>> last(infos.size());
        for (int i = 0; i < calls; ++i) {
            const auto frames = static_cast<uint32_t>(1 + random() % 2048);
            // Events in time order, several per call.
            std::vector<uint32_t> times(1 + random() % 6);
            for (auto& t : times) t = static_cast<uint32_t>(random() % frames);
            std::sort(times.begin(), times.end());
            for (uint32_t t : times) {
                const size_t k = random() % infos.size();
                const clap_param_info& info = infos[k];
                double v = randomValue(info, random);
                if (bounds) {
                    const double span = std::max(1.0, info.maxValue - info.minValue);
                    const double beyond[] = {info.minValue - span,
                                             info.maxValue + span,
                                             info.maxValue + 1e30,
                                             -1e30,
                                             std::nan(""),
                                             std::numeric_limits<double>::infinity(),
                                             -std::numeric_limits<double>::infinity(),
                                             info.minValue - 1e-9};
                    v = beyond[random() % std::size(beyond)];
                }
                block.events.value(info.id, t, v);
                last[k] = v;
            }
            const clap_process_status status = block.run(instance, signal, frames);
            if (const std::string problem = callProblem(block, status); !problem.empty()) {
                findings.fail("%s values by events: %s", bounds ? "out-of-range" : "fuzzed", problem.c_str());
                return;
            }
        }
        for (size_t k = 0; k < infos.size(); ++k) {
            const clap_param_info& info = infos[k];
            const double now = instance.value(info.id).value_or(std::nan(""));
            if (!inRange(now, info))
                findings.fail("after %s values by events, parameter %u reads %.17g, outside %.17g to %.17g",
                              bounds ? "out-of-range" : "fuzzed", info.id, now, info.minValue, info.maxValue);
            else if (!bounds && last[k] && !closeTo(now, *last[k], info))
                findings.fail("parameter %u reads %g after an event set it to %g", info.id, now, *last[k]);
        }
    }
    instance.deactivate();
}

// Flush while inactive, and while active between calls, takes the values as process would.
void checkFlush(Instance& instance, const std::vector<clap_param_info>& infos, const CheckContext& context,
                Findings& findings) {
    std::mt19937 random(context.seed + 7);
    for (bool active : {false, true}) {
        if (active) {
            instance.activate(kRate, 1, 512);
            instance.stopProcessing();
        }
        EventList events;
        std::vector<double> sent;
        for (const auto& info : infos) {
            sent.push_back(randomValue(info, random));
            events.value(info.id, 0, sent.back());
        }
        instance.flush(events);
        for (size_t k = 0; k < infos.size(); ++k) {
            const double now = instance.value(infos[k].id).value_or(std::nan(""));
            if (!closeTo(now, sent[k], infos[k])) {
                findings.fail("flush %s: parameter %u reads %g, not the %g flushed",
                              active ? "while active" : "while inactive", infos[k].id, now, sent[k]);
                break;
            }
        }
    }
    // A flush with nothing to say, and one whose list answers null entries.
    EventList empty;
    instance.flush(empty);
    EventList broken;
    broken.nullEntries = true;
    for (int i = 0; i < 4; ++i)
        broken.value(infos.empty() ? 0 : infos[0].id, 0, infos.empty() ? 0.0 : infos[0].defaultValue);
    instance.flush(broken);
    instance.deactivate();
}

// Events with odd sizes, foreign spaces and types, unknown ids, times past the block and out of
// order: none may crash, turn the sound non-finite or move a value out of range.
void hostileEvents(Instance& instance, const std::vector<clap_param_info>& infos, Findings& findings) {
    instance.activate(kRate, 1, 512);
    Block block(512);
    TestSignal signal(SignalKind::Noise, static_cast<float>(kRate));
    const clap_id id = infos.empty() ? 0 : infos[0].id;
    auto odd = [&](uint32_t size, uint16_t space, uint16_t type, uint32_t time, clap_id param, double v) {
        EventSlot slot = valueEvent(param, time, v);
        slot.header.size = size;
        slot.header.spaceId = space;
        slot.header.type = type;
        block.events.add(slot);
    };
    odd(0, kCoreEventSpace, kEventParamValue, 0, id, 1e30);
    odd(sizeof(clap_event_header), kCoreEventSpace, kEventParamValue, 0, id, 1e30);
    odd(sizeof(clap_event_param_value) - 8, kCoreEventSpace, kEventParamValue, 0, id, 1e30);
    odd(sizeof(clap_event_param_value), 77, kEventParamValue, 0, id, 1e30);
    odd(sizeof(clap_event_param_value), kCoreEventSpace, 999, 0, id, 1e30);
    odd(sizeof(clap_event_param_value), kCoreEventSpace, kEventNoteOn, 0, id, 1e30);
    odd(sizeof(clap_event_param_value), kCoreEventSpace, kEventMidi, 0, id, 1e30);
    odd(sizeof(clap_event_param_value), kCoreEventSpace, kEventParamValue, 400, kInvalidId, 0.5);
    odd(sizeof(clap_event_param_value), kCoreEventSpace, kEventParamValue, 300, id, std::nan(""));
    odd(sizeof(clap_event_param_value), kCoreEventSpace, kEventParamValue, 100, id,
        -1e30);  // before the one above
    odd(sizeof(clap_event_param_value), kCoreEventSpace, kEventParamValue, 100000, id, 1e30);
    odd(sizeof(clap_event_param_value), kCoreEventSpace, kEventParamValue, UINT32_MAX, id, 0.5);
    const clap_process_status status = block.run(instance, signal, 512);
    if (const std::string problem = callProblem(block, status); !problem.empty())
        findings.fail("events of odd sizes, spaces, types, ids and times: %s", problem.c_str());
    for (const auto& info : infos)
        if (const double now = instance.value(info.id).value_or(std::nan("")); !inRange(now, info))
            findings.fail("after hostile events parameter %u reads %g", info.id, now);
    instance.deactivate();
}

// A value event at frame k inside a call must sound exactly as the host cutting its block at k
// and sending the event at the start of the second part; and until k, as no event at all.
void eventOffsets(Module& module, const std::vector<clap_param_info>& infos, Findings& findings, int& audible,
                  int& exact) {
    RenderPlan plain;
    plain.frames = 2048;
    const std::vector<float> none = renderFresh(module, plain, findings, "no events");
    const uint32_t offsets[] = {0, 1, 100, 511};
    for (const auto& info : infos) {
        // As far from the default as the range allows.
        const double v = info.defaultValue - info.minValue > info.maxValue - info.defaultValue
                             ? info.minValue
                             : info.maxValue;
        bool heard = false;
        for (uint32_t k : offsets) {
            const int64_t at = 512 + k;  // inside the second call
            RenderPlan inside = plain;
            inside.events = [&](int64_t start, uint32_t, EventList& events) {
                if (start == 512) events.value(info.id, k, v);
            };
            RenderPlan split = plain;
            split.block = [&](int64_t done) {
                return done == 512 ? (k > 0 ? k : 512u) : (done == 512 + k ? 512u - k : 512u);
            };
            split.events = [&](int64_t start, uint32_t, EventList& events) {
                if (start == at) events.value(info.id, 0, v);
            };
            const std::string what =
                "parameter " + std::to_string(info.id) + " set at frame " + std::to_string(at);
            const std::vector<float> a = renderFresh(module, inside, findings, what.c_str());
            const std::vector<float> b =
                renderFresh(module, split, findings, (what + ", block cut there").c_str());
            if (const long long d = firstDifferentFrame(a, b); d >= 0) {
                findings.fail(
                    "parameter %u set by an event at frame %u of a call sounds different from the call cut "
                    "there, from frame %lld on (the event lands at frame %lld)",
                    info.id, k, d, static_cast<long long>(at));
                break;
            }
            const long long d = firstDifferentFrame(none, a);
            if (d >= 0 && d < at) {
                findings.fail(
                    "parameter %u set by an event at frame %lld changes the sound from frame %lld on, "
                    "before the event",
                    info.id, static_cast<long long>(at), d);
                break;
            }
            if (d >= 0) heard = true;
            if (d == at) ++exact;
        }
        if (heard) ++audible;
    }
    if (!infos.empty() && audible == 0)
        findings.fail("no parameter set by an event changes the sound");
    else if (!infos.empty() && exact == 0)
        findings.fail("no parameter set by an event changes the sound at the event's own frame");
}

}  // namespace

void checkClapParams(const CheckContext& context, Findings& findings) {
    denormalsVisible();
    auto module = Module::load(context.modulePath, findings);
    if (!module) return;
    auto instance = Instance::create(*module, findings);
    if (!instance) return;
    if (instance->params == nullptr) {
        findings.skip("no params extension: nothing to check");
        return;
    }
    const std::vector<clap_param_info> infos = instance->parameters();
    checkInfos(*instance, infos, findings);
    int conversions = 0;
    checkConversions(*instance, infos, findings, conversions);
    fuzzValues(*instance, infos, context, findings);
    checkFlush(*instance, infos, context, findings);
    hostileEvents(*instance, infos, findings);
    int audible = 0, exact = 0;
    eventOffsets(*module, infos, findings, audible, exact);
    findings.summary(
        "%zu parameters: infos, defaults; %d texts read back to the same text; fuzzed and "
        "out-of-range values; flush inactive and active; hostile events; %d parameters heard from "
        "their event's frame (%d cases exactly there), as if the block were cut",
        infos.size(), conversions, audible, exact);
}

}  // namespace flanger::tools
