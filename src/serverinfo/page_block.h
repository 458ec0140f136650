#pragma once

#include <cstddef>

#include "platform/platform.h"

// Memory for a whole file's bytes: a block of AllocatePages, given back
// when it goes.
class PageBlock {
 public:
  PageBlock() = default;
  // Raises std::bad_alloc when the platform has no memory for it.
  PageBlock(Platform& platform, std::size_t size);
  PageBlock(PageBlock&& other) noexcept;
  PageBlock& operator=(PageBlock&& other) noexcept;
  ~PageBlock();

  char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  Platform* platform_ = nullptr;
  char* data_ = nullptr;
  std::size_t size_ = 0;
};
