#include "platform/memory.hpp"

#include <cstdlib>

namespace velunda {

void* HeapMemory::Allocate(size_t bytes) { return std::calloc(bytes == 0 ? 1 : bytes, 1); }

void HeapMemory::Free(void* block) { std::free(block); }

}  // namespace velunda
