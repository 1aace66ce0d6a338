// piecewise_linear.h -- lookup in a table of breakpoints with linear interpolation between them,
// as the lift and airfoil coefficient tables use it.
#pragma once

namespace corvane {

// The segment of x in a table of n >= 2 ascending breakpoints: the first index i from 0 to n-2
// whose upper breakpoint xs[i+1] is not below x; n-2 when x lies beyond the last breakpoint.
int TableSegment(const double *xs, int n, double x);

// ys[i] + (x - xs[i]) * (ys[i+1] - ys[i]) / (xs[i+1] - xs[i]) on the segment i of x.
double TableLerp(const double *xs, const double *ys, int n, double x);

}  // namespace corvane
