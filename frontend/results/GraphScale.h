// Axis ends and grid steps of the results graphs.
#pragma once

// The smallest multiple of step that is strictly greater than value:
// floor(value / step) * step + step. A value that is already a multiple gives the next one:
// (5, 5) -> 10, (20, 150) -> 160, (50, 412.3) -> 450.
double AxisMaximum(double step, double value);

// A grid step of 0.1, 0.2, 0.5 or 1.0 times a power of ten for a range: the range is cut down to
// one decimal, its digits before the point give the power n (0 below 10), and the mantissa
// m = v * 10^-n picks 0.1 (m < 1), 0.2 (m < 2), 0.5 (m < 5) or 1.0.
// 0.35 -> 0.1, 9.99 -> 1, 10 -> 2, 412.3 -> 50, 1234 -> 200.
double TickStep(double range);

// The decimals that labels of a grid with this step need to tell its lines apart: 0 for whole
// steps, 1 for 0.1, 0.2 and 0.5, 2 for 0.05 (at most 9).
int LabelDecimals(double step);
