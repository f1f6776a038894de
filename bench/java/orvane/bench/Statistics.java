package orvane.bench;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/** Minimum, median and maximum of a set of figures. */
final class Statistics {
    final double min;
    final double median;
    final double max;

    Statistics(List<Double> values) {
        List<Double> sorted = new ArrayList<>(values);
        Collections.sort(sorted);
        int n = sorted.size();
        min = n == 0 ? Double.NaN : sorted.get(0);
        max = n == 0 ? Double.NaN : sorted.get(n - 1);
        median = n == 0 ? Double.NaN
                : n % 2 == 1 ? sorted.get(n / 2) : (sorted.get(n / 2 - 1) + sorted.get(n / 2)) / 2;
    }
}
