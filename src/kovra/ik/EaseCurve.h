#pragma once

namespace kovra {

// Penner easing: type 1 quadratic, 2 cubic, 3 quartic, 4 quintic, 5 sine,
// 6 exponential, 7 circular, 8 elastic, 9 back, 10 bounce; any other type or
// mode returns t. Mode 0 eases in, 1 out, 2 in and out. t is taken as 0..1.
float EaseCurve(int type, int mode, float t);

// The ease-in-out quadratic the handles use for their solver weight.
float EaseInOutQuad(float t);

// Eased in over the first `ramp` of t and out over the last, even in
// between: it starts and stops gently like the others but its top speed,
// 1 / (1 - ramp), is the lowest of them, for a turn that has far to go.
float EaseInOutRamp(float t, float ramp);

}  // namespace kovra
