#include "firmware/hexparser.h"

#include <algorithm>

namespace {

// The quicksort, partitioning around the middle record. Records with equal
// addresses end up in the order its exchanges give them. Only the smaller
// side recurses, so the stack stays shallow whatever the input. Some orders
// (an organ pipe, or a file crafted for it) make the middle pivot a poor
// choice again and again and the work grow with the square of the count;
// any file of a sensible size still finishes as the quicksort alone would
// sort it, and only past a work budget far beyond that does a stable sort
// take over the parts still unsorted.
void quicksort(QVector<HexRecord> &records, int left, int right, qint64 &budget)
{
    while (left < right) {
        budget -= right - left + 1;
        if (budget < 0) {
            std::stable_sort(records.begin() + left, records.begin() + right + 1,
                             [](const HexRecord &a, const HexRecord &b) { return a.address < b.address; });
            return;
        }
        int i = left;
        int j = right;
        const qint32 pivot = records.at((left + right) / 2).address;
        while (i <= j) {
            while (records.at(i).address < pivot && i < right)
                ++i;
            while (records.at(j).address > pivot && j > left)
                --j;
            if (i <= j) {
                if (i != j)
                    std::swap(records[i], records[j]);
                ++i;
                --j;
            }
        }
        // [left, j] and [i, right] do not overlap, so which is sorted first
        // changes nothing in the result.
        if (j - left < right - i) {
            if (left < j)
                quicksort(records, left, j, budget);
            left = i;
        } else {
            if (i < right)
                quicksort(records, i, right, budget);
            right = j;
        }
    }
}

} // namespace

void sortRecords(QVector<HexRecord> &records, const int &left, const int &right)
{
    if (left < 0 || right >= records.size() || left >= right)
        return;
    const qint64 count = qint64(right) - left + 1;
    int log2 = 1;
    while ((qint64(1) << log2) < count)
        ++log2;
    // About a tenth of a second of partitioning, more for a longer list.
    qint64 budget = (qint64(1) << 26) + 8 * count * log2;
    quicksort(records, left, right, budget);
}
