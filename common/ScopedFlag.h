#pragma once

// Sets a flag for the length of a scope and puts its previous value back, also
// when an error passes.
class ScopedFlag {
public:
    explicit ScopedFlag(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
    ~ScopedFlag() { flag_ = previous_; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    bool& flag_;
    bool previous_;
};
