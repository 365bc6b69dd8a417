#include "NumericCheck.h"

#include "settings/NumberText.h"

namespace q7rk {

namespace {

constexpr std::array kRules{
    NumericRule{Box::FormationVoltage, {"800", "800"}, 1, 1000, {"200", "200"}, true, true},
    NumericRule{Box::VrRatio, {"90", "90"}, 1, 100, {"90", "90"}, false, false},
    NumericRule{Box::TestCurrent, {"2", "2"}, 0.2, 15, {"2", "2"}, false, false},
    NumericRule{Box::DelayTime, {"180", "180"}, 1, 9000, {"180", "180"}, false, false},
    NumericRule{Box::RiseTimeLimit, {"150", "150"}, 0.5, 9000, {"150", "150"}, false, false},
    NumericRule{Box::LeakageVoltage, {"100", "400"}, 10, 1000, {"100", "400"}, false, false},
    NumericRule{Box::LeakageLimit, {"0.05", "0.05"}, 0.001, 20, {"0.05", "0.05"}, false, false},
    NumericRule{Box::LeakageTestTime, {"180", "180"}, 1, 9000, {"180", "180"}, false, false},
    NumericRule{Box::ElectrolyteCurrent, {"2", "2"}, 0.5, 20, {"2", "2"}, false, false},
    NumericRule{Box::ElectrolyteSetVoltage, {"100", "400"}, 10, 1000, {"100", "400"}, false, false},
    NumericRule{Box::ReferenceVoltage, {"550", "550"}, 10, 1000, {"550", "550"}, false, false},
    NumericRule{Box::SparkDelay, {"120", "120"}, 1, 9000, {"120", "120"}, false, false},
    NumericRule{Box::SparkCorrection, {"3.1", "3.1"}, 0, 1000, {"3.1", "3.1"}, false, false},
};

} // namespace

const NumericRule* numericRule(Box box) {
    for (const NumericRule& rule : kRules) {
        if (rule.box == box) return &rule;
    }
    return nullptr;
}

QString checkedText(const NumericRule& rule, int channel, const QString& text,
                    const QString& lastValid) {
    const int group = groupOf(channel);
    // A lone blank, an empty box and anything else that is not a number take the blank
    // value; the blank values all lie within their bounds.
    const auto value = parseNumber(text);
    if (!value && rule.keepsLastValid && passes(rule, lastValid)) return lastValid;
    if (!value) return QString::fromLatin1(rule.blank[group]);
    if (*value > rule.upper || *value < rule.lower)
        return QString::fromLatin1(rule.outOfRange[group]);
    return text;
}

bool passes(const NumericRule& rule, const QString& text) {
    const auto value = parseNumber(text);
    return value && *value >= rule.lower && *value <= rule.upper;
}

bool restoresLastValid(const NumericRule& rule, const QString& text) {
    return rule.keepsLastValid && !parseNumber(text);
}

} // namespace q7rk
