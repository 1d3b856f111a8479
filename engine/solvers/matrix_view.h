// 1-based access to a column-major matrix with an explicit leading dimension.
#pragma once

#include <cstddef>

namespace orva {

template <typename T>
struct ColumnMajor {
  T* data;
  int ld;
  T& operator()(int i, int j) const {
    return data[static_cast<std::ptrdiff_t>(i - 1) +
                static_cast<std::ptrdiff_t>(j - 1) * static_cast<std::ptrdiff_t>(ld)];
  }
};

}  // namespace orva
