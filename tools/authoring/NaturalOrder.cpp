#include "tools/authoring/NaturalOrder.h"

#include <cstddef>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

unsigned char Folded(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// The digits of a run without its leading zeros (a run of zeros keeps none).
std::string_view Significant(std::string_view digits)
{
    size_t first = 0;
    while (first < digits.size() && digits[first] == '0') ++first;
    return digits.substr(first);
}

// <0, 0 or >0 as a is before, equal to or after b by runs.
int CompareByRuns(std::string_view a, std::string_view b)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            size_t endA = i;
            while (endA < a.size() && IsDigit(a[endA])) ++endA;
            size_t endB = j;
            while (endB < b.size() && IsDigit(b[endB])) ++endB;
            const std::string_view valueA = Significant(a.substr(i, endA - i));
            const std::string_view valueB = Significant(b.substr(j, endB - j));
            // Without leading zeros, the longer number is the larger one.
            if (valueA.size() != valueB.size()) return valueA.size() < valueB.size() ? -1 : 1;
            if (const int order = valueA.compare(valueB); order != 0) return order;
            i = endA;
            j = endB;
            continue;
        }
        const unsigned char x = Folded(a[i]);
        const unsigned char y = Folded(b[j]);
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b)
{
    if (const int order = CompareByRuns(a, b); order != 0) return order < 0;
    return a < b;
}
