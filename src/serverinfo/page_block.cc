#include "serverinfo/page_block.h"

#include <new>
#include <utility>

PageBlock::PageBlock(Platform& platform, std::size_t size)
    : platform_(&platform), data_(platform.AllocatePages(size)), size_(size) {
  if (data_ == nullptr) throw std::bad_alloc();
}

PageBlock::PageBlock(PageBlock&& other) noexcept
    : platform_(std::exchange(other.platform_, nullptr)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

PageBlock& PageBlock::operator=(PageBlock&& other) noexcept {
  if (this != &other) {
    PageBlock old(std::move(*this));
    platform_ = std::exchange(other.platform_, nullptr);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

PageBlock::~PageBlock() {
  if (data_ != nullptr) platform_->FreePages(data_, size_);
}
