// What an alarm watches for, and what it does when it goes off.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace velmora {

enum class AlarmCondition {
    Above,    // value > high
    Below,    // value < low
    Outside,  // value < low or value > high
    Inside,   // low <= value <= high
    Silence,  // no reading for `silenceSeconds` while connected
    Overload, // an overload reading (the meter's +/-9.9E37)
};

// One alarm. `function` is the meter's own name of its function as it
// answers "Func?" ("VOLT", "VOLT:AC", "DIOD", "RES", "CONT" ...): diode test
// and continuity are functions of their own even though they share a unit
// with DC volts and resistance. An empty function means any (the silence
// alarm is always for any).
struct AlarmDefinition {
    std::string name;
    std::string function;
    AlarmCondition condition = AlarmCondition::Above;
    double low = 0;
    double high = 0;
    // The value must come back by this much before the alarm clears:
    // above 1.5 with 0.01 raises above 1.5 and clears at 1.49 or less.
    double hysteresis = 0;
    // The condition must hold for at least this long before the alarm is
    // raised (0: at the first reading that meets it).
    double delaySeconds = 0;
    double silenceSeconds = 10;
    bool enabled = true;
    // Actions besides the main window's own signs.
    bool sound = false;
    bool notify = false;
    std::string program; // run with the value, the unit and the name; empty: none
    // A level alarm on the derived value of the math instead of the reading
    // (then readings without a derived number are not judged).
    bool onMath = false;

    bool operator==(const AlarmDefinition&) const = default;
};

// Why an alarm cannot be used as it stands (a band whose low limit is above
// its high one, a negative hysteresis or delay, a silence of no length),
// or nothing when it can.
std::optional<std::string> AlarmProblem(const AlarmDefinition& alarm);

// The functions an alarm can watch, as the meter names them, with the
// words the editor shows for them; the first entry ("") is any function.
struct AlarmFunction {
    const char* name;
    const char* label;
};
std::span<const AlarmFunction> AlarmFunctions();

// "above", "below", "outside", "inside", "silence", "overload".
const char* AlarmConditionName(AlarmCondition condition);
bool AlarmConditionFromName(const std::string& name, AlarmCondition& condition);

} // namespace velmora
