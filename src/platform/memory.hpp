#pragma once
#include <cstddef>

namespace velunda {

// Memory blocks for wave headers and buffers: zero-filled, nullptr when not obtained.
class Memory {
 public:
  virtual ~Memory() = default;
  virtual void* Allocate(size_t bytes) = 0;
  virtual void Free(void* block) = 0;
};

class HeapMemory final : public Memory {
 public:
  void* Allocate(size_t bytes) override;
  void Free(void* block) override;
};

}  // namespace velunda
