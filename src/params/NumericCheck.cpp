#include "NumericCheck.h"

#include "settings/NumberText.h"

namespace q7rk {

namespace {

constexpr std::array kRules{
    NumericRule{Box::Text1, {"800", "800"}, 1, 1000, {"200", "200"}, true, true},
    NumericRule{Box::Text2, {"90", "90"}, 1, 100, {"90", "90"}, false, false},
    NumericRule{Box::Text3, {"2", "2"}, 0.2, 15, {"2", "2"}, false, false},
    NumericRule{Box::Text4, {"180", "180"}, 1, 9000, {"180", "180"}, false, false},
    NumericRule{Box::Text5, {"150", "150"}, 0.5, 9000, {"150", "150"}, false, false},
    NumericRule{Box::Text9, {"100", "400"}, 10, 1000, {"100", "400"}, false, false},
    NumericRule{Box::Text10, {"0.05", "0.05"}, 0.001, 20, {"0.05", "0.05"}, false, false},
    NumericRule{Box::Text11, {"180", "180"}, 1, 9000, {"180", "180"}, false, false},
    NumericRule{Box::Text17, {"2", "2"}, 0.5, 20, {"2", "2"}, false, false},
    NumericRule{Box::Text18, {"100", "400"}, 10, 1000, {"100", "400"}, false, false},
    NumericRule{Box::Text19, {"550", "550"}, 10, 1000, {"550", "550"}, false, false},
    NumericRule{Box::Text20, {"120", "120"}, 1, 9000, {"120", "120"}, false, false},
    NumericRule{Box::Text21, {"3.1", "3.1"}, 0, 1000, {"3.1", "3.1"}, false, false},
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
