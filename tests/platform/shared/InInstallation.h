#pragma once

namespace zelvoset::testing {

// A fresh directory that is the current directory and the program's own, with the real
// platform and a scripted user: the installation the program was started in. Each system's
// suite names it with its own temporary directory and scripted platform (PlatformTesting.h).
template <class TempDir, class Platform> class InInstallationOf : public TempDir {
protected:
    void SetUp() override {
        TempDir::SetUp();
        platform.programDirectory = this->root_;
    }
    Platform platform;
};

} // namespace zelvoset::testing
