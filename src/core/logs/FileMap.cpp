#include "FileMap.hpp"

#include <atomic>
#include <csignal>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace vellumkite {

namespace {

// The guarded ranges, read by the signal handler without locks.
struct Slot {
    std::atomic<std::uintptr_t> begin{0}, end{0};
    std::atomic<bool> shrank{false};
    std::atomic<bool> taken{false};
};
Slot slots[FileMap::kSlots];

std::uintptr_t pageSize = 4096;
struct sigaction previous;

void onBus(int sig, siginfo_t* info, void* context) {
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (auto& slot : slots) {
        if (at < slot.begin.load(std::memory_order_acquire) ||
            at >= slot.end.load(std::memory_order_acquire))
            continue;
        // The file shrank under a view of ours: a page of zeros where its bytes were, and the
        // reader is told. The faulting read then goes on.
        void* page = reinterpret_cast<void*>(at & ~(pageSize - 1));
        if (::mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
            MAP_FAILED) {
            slot.shrank.store(true, std::memory_order_relaxed);
            return;
        }
    }
    // Not ours: as if this handler were not there.
    if (previous.sa_flags & SA_SIGINFO) {
        previous.sa_sigaction(sig, info, context);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(sig);
    } else {
        // The fault repeats on return, now with the old action: the default ends the process.
        ::sigaction(SIGBUS, &previous, nullptr);
    }
}

bool guarded() {
    static std::once_flag once;
    std::call_once(once, [] {
        pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction ours {};
        ours.sa_sigaction = onBus;
        ours.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&ours.sa_mask);
        ::sigaction(SIGBUS, &ours, &previous);
    });
    // Someone may have put their own handler in since: then views are not safe.
    struct sigaction now {};
    return ::sigaction(SIGBUS, nullptr, &now) == 0 && (now.sa_flags & SA_SIGINFO) &&
           now.sa_sigaction == onBus;
}

} // namespace

FileMap::~FileMap() {
    unmap();
}

bool FileMap::map(int fd, std::uint64_t offset, std::size_t length) {
    unmap();
    if (length == 0 || !guarded())
        return false;
    for (int i = 0; i < kSlots && slot_ < 0; ++i) {
        bool expected = false;
        if (slots[i].taken.compare_exchange_strong(expected, true))
            slot_ = i;
    }
    if (slot_ < 0)
        return false;
    const std::uint64_t start = offset & ~static_cast<std::uint64_t>(pageSize - 1);
    const auto lead = static_cast<std::size_t>(offset - start);
    const std::size_t pages = (lead + length + pageSize - 1) & ~(pageSize - 1);
    // Faulting the view in at once costs less than a fault per few pages as it is read.
    void* p = ::mmap(nullptr, pages, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd,
                     static_cast<off_t>(start));
    if (p == MAP_FAILED) {
        slots[slot_].taken.store(false);
        slot_ = -1;
        return false;
    }
    ::madvise(p, pages, MADV_SEQUENTIAL);
    base_ = p;
    mapped_ = pages;
    data_ = static_cast<const char*>(p) + lead;
    size_ = length;
    slack_ = pages - lead - length;
    Slot& s = slots[slot_];
    s.shrank.store(false);
    s.end.store(reinterpret_cast<std::uintptr_t>(p) + pages, std::memory_order_release);
    s.begin.store(reinterpret_cast<std::uintptr_t>(p), std::memory_order_release);
    return true;
}

void FileMap::unmap() {
    if (slot_ >= 0) {
        Slot& s = slots[slot_];
        s.begin.store(0, std::memory_order_release);
        s.end.store(0, std::memory_order_release);
        s.taken.store(false);
        slot_ = -1;
    }
    if (base_)
        ::munmap(base_, mapped_);
    base_ = nullptr;
    data_ = nullptr;
    mapped_ = size_ = slack_ = 0;
}

bool FileMap::shrank() const {
    return slot_ >= 0 && slots[slot_].shrank.load();
}

} // namespace vellumkite
