#pragma once
// A 24-bit picture: three bytes per pixel in the order blue, green, red, row 0 at the top,
// rows packed without padding. A new raster is white until written, unless made Unwritten.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace nuvak {

// Called, when set, with each block of at least kLargeRasterBlock bytes that a raster
// allocates, before anything is written to it. A program can advise its system there how to
// back the block (with large pages, say: first touching a picture's pages is most of the cost
// of making it). Unset, nothing is called; core itself makes no system calls.
using RasterBlockHook = void (*)(void* block, std::size_t bytes);
inline constexpr std::size_t kLargeRasterBlock = std::size_t(4) << 20;
inline std::atomic<RasterBlockHook>& LargeRasterBlockHook() {
    static std::atomic<RasterBlockHook> hook{nullptr};
    return hook;
}
// Hands the block to the hook when it is that large and a hook is set.
inline void AdviseLargeRasterBlock(void* block, std::size_t bytes) {
    if (bytes < kLargeRasterBlock) return;
    if (const RasterBlockHook hook = LargeRasterBlockHook().load(std::memory_order_relaxed)) hook(block, bytes);
}

// Allocates as std::allocator does, and hands large blocks to the hook above. Bytes that are
// merely sized (resize, the size-only constructors) are left unwritten instead of zeroed;
// given a value, they take it. Pictures of tens of megabytes that are about to be overwritten
// are thus not filled first.
template <class T>
struct RasterAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = RasterAllocator<U>;
    };
    RasterAllocator() = default;
    template <class U>
    RasterAllocator(const RasterAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        T* p = std::allocator<T>::allocate(n);
        AdviseLargeRasterBlock(p, n * sizeof(T));
        return p;
    }
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

struct Raster {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t, RasterAllocator<std::uint8_t>> bytes;

    // Tag of the constructor whose bytes are left for the caller to write, every one of them.
    struct Unwritten {};

    Raster() = default;
    Raster(int w, int h) : width(w), height(h), bytes(std::size_t(w) * std::size_t(h) * 3, 255) {}
    Raster(int w, int h, Unwritten) : width(w), height(h), bytes(std::size_t(w) * std::size_t(h) * 3) {}

    bool empty() const { return width <= 0 || height <= 0; }
    std::size_t stride() const { return std::size_t(width) * 3; }
    std::uint8_t* row(int y) { return bytes.data() + std::size_t(y) * stride(); }
    const std::uint8_t* row(int y) const { return bytes.data() + std::size_t(y) * stride(); }
    std::uint8_t* pixel(int x, int y) { return row(y) + std::size_t(x) * 3; }
    const std::uint8_t* pixel(int x, int y) const { return row(y) + std::size_t(x) * 3; }

    // Single-pixel colour value as commands use it: blue * 65536 + green * 256 + red.
    std::uint32_t colour(int x, int y) const {
        const std::uint8_t* p = pixel(x, y);
        return std::uint32_t(p[0]) << 16 | std::uint32_t(p[1]) << 8 | p[2];
    }

    friend bool operator==(const Raster&, const Raster&) = default;
};

}  // namespace nuvak
