#pragma once

namespace q7rk {

// Working ranges of the time-axis factors. Starting from a power of two the steps below keep
// a factor a power of two inside its range; anything outside (0 from a store that held
// nothing, a negative or non-finite value) is brought back by the next step.
constexpr float MinTimeScale = 1.0f / 32;
constexpr float MaxTimeScale = 32.0f;
constexpr float MinGroupTimeScale = 0.125f;
constexpr float MaxGroupTimeScale = 32.0f;

// Every new test, and 恢复默认值, starts the axes at their shortest.
constexpr float DefaultTimeScale = MinTimeScale;
constexpr float DefaultGroupTimeScale = MinGroupTimeScale;

// The comparisons are written so that NaN falls to the "else" side.
constexpr float enlargedTimeScale(float s) {
    return (s >= MinTimeScale && s < MaxTimeScale) ? s * 2 : MaxTimeScale;
}
constexpr float shrunkTimeScale(float s) {
    return (s > MinTimeScale && s <= MaxTimeScale) ? s / 2 : MinTimeScale;
}
constexpr float enlargedGroupTimeScale(float s) {
    return (s >= MinGroupTimeScale && s < MaxGroupTimeScale) ? s * 2 : MaxGroupTimeScale;
}
// Unlike the channel charts, the group factor at exactly 32 drops to the minimum, not to 16.
constexpr float shrunkGroupTimeScale(float s) {
    return (s > MinGroupTimeScale && s < MaxGroupTimeScale) ? s / 2 : MinGroupTimeScale;
}

} // namespace q7rk
