#include "global_memory.h"

#include <cstring>

CGlobalHandle AllocateGlobal(size_t size) {
    return CGlobalHandle(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, size));
}

CGlobalHandle AllocateGlobalCopy(const void* data, size_t size) {
    CGlobalHandle block = AllocateGlobal(size);
    if (!block) return block;
    CGlobalLock lock(block.Get());
    if (lock.Data() == nullptr || lock.Size() < size) return CGlobalHandle();
    if (size != 0) std::memcpy(lock.Data(), data, size);
    return block;
}

CGlobalHandle CopyGlobal(HGLOBAL block) {
    CGlobalLock source(block);
    if (source.Data() == nullptr) return CGlobalHandle();
    return AllocateGlobalCopy(source.Data(), source.Size());
}
