#include "piecewise_linear.h"

namespace corvane {

int TableSegment(const double *xs, int n, double x)
{
    int i = 0;
    while (i < n - 2 && xs[i + 1] < x) ++i;
    return i;
}

double TableLerp(const double *xs, const double *ys, int n, double x)
{
    const int i = TableSegment(xs, n, x);
    const double f = (x - xs[i]) / (xs[i + 1] - xs[i]);
    return ys[i] + f * (ys[i + 1] - ys[i]);
}

}  // namespace corvane
