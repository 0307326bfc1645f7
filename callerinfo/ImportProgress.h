#pragma once
#include <atomic>
#include <cstddef>
#include <exception>

// Thrown by a long import step once the user has asked it to stop.
class ImportCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "import cancelled"; }
};

// How far a long import step has come and whether the user wants it stopped.
// The step runs on a worker thread and calls Phase and Step; any thread reads
// Permille and calls Cancel.
class ImportProgress {
public:
    void Cancel() noexcept { cancelled_ = true; }
    bool Cancelled() const noexcept { return cancelled_; }

    // Later Steps fill this part of the whole, in per mille.
    void Phase(int fromPermille, int toPermille) noexcept {
        from_ = fromPermille;
        to_ = toPermille;
        permille_ = fromPermille;
    }
    // `done` of `total` of the current phase; throws ImportCancelled once
    // Cancel has been called.
    void Step(std::size_t done, std::size_t total) {
        if (cancelled_) throw ImportCancelled();
        if (total > 0 && done <= total)
            permille_ = from_ + static_cast<int>(static_cast<double>(to_ - from_) * static_cast<double>(done) /
                                                 static_cast<double>(total));
    }
    int Permille() const noexcept { return permille_; }

private:
    std::atomic<bool> cancelled_{false};
    std::atomic<int> permille_{0};
    // The working thread's own: set and read by Phase and Step only.
    int from_ = 0, to_ = 1000;
};

// Asks for a step every `every` units of work, so that the check costs nothing.
inline void ImportStep(ImportProgress* progress, std::size_t done, std::size_t total, std::size_t every = 4096) {
    if (progress && done % every == 0) progress->Step(done, total);
}
