#include "firmware/hexparser.h"

#include <algorithm>

namespace {

// The quicksort, partitioning around the middle record. Records with equal
// addresses end up in the order its exchanges give them. Only the smaller
// side recurses, so the stack stays shallow; and a file crafted to make the
// middle pivot a poor choice again and again is finished off by a stable
// sort once the partitions run deeper than any ordinary file takes them.
void quicksort(QVector<HexRecord> &records, int left, int right, int depthLeft)
{
    while (left < right) {
        if (depthLeft-- <= 0) {
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
                quicksort(records, left, j, depthLeft);
            left = i;
        } else {
            if (i < right)
                quicksort(records, i, right, depthLeft);
            right = j;
        }
    }
}

} // namespace

void sortRecords(QVector<HexRecord> &records, const int &left, const int &right)
{
    if (left < 0 || right >= records.size() || left >= right)
        return;
    int depth = 16;
    for (int n = right - left + 1; n > 1; n >>= 1)
        depth += 4;
    quicksort(records, left, right, depth);
}
