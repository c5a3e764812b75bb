// The draw pass's stable sort, for any element and order: the 3D draw sorts
// slot numbers of its draw list, tests sort whole items. Ties keep their
// earlier position.
#pragma once

#include <cstddef>

namespace kivanime {

template <typename T, typename Less>
void InsertionSort(T* items, size_t n, Less less) {
    for (size_t i = 1; i < n; ++i) {
        const T item = items[i];
        if (!less(item, items[i - 1])) {
            continue;  // the common case: nothing to move
        }
        size_t j = i;
        do {
            items[j] = items[j - 1];
            --j;
        } while (j > 0 && less(item, items[j - 1]));
        items[j] = item;
    }
}

// Top-down merge sort; ties take the left (earlier) element first.
template <typename T, typename Less>
void MergeSort(T* items, T* scratch, size_t n, Less less) {
    if (n <= 16) {
        InsertionSort(items, n, less);
        return;
    }
    const size_t half = n / 2;
    MergeSort(items, scratch, half, less);
    MergeSort(items + half, scratch + half, n - half, less);
    if (!less(items[half], items[half - 1])) {
        return;  // already in order
    }
    size_t i = 0;
    size_t j = half;
    size_t k = 0;
    while (i < half && j < n) {
        scratch[k++] = less(items[j], items[i]) ? items[j++] : items[i++];
    }
    while (i < half) {
        scratch[k++] = items[i++];
    }
    while (j < n) {
        scratch[k++] = items[j++];
    }
    for (size_t m = 0; m < n; ++m) {
        items[m] = scratch[m];
    }
}

// `scratch` holds at least `n` elements. The lists the draw pass sorts arrive
// in draw order, so only ties are out of place: up to an ordinary part count
// an insertion sort is the cheapest stable sort.
template <typename T, typename Less>
void StableSort(T* items, T* scratch, size_t n, Less less) {
    if (n <= 64) {
        InsertionSort(items, n, less);
    } else {
        MergeSort(items, scratch, n, less);
    }
}

}  // namespace kivanime
