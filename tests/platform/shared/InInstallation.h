#pragma once

// Each system's PlatformTesting.h includes this after its own InTempDir and ScriptedPlatform.

namespace zelvoset::testing {

// A fresh directory that is the current directory and the program's own, with the real
// platform and a scripted user: the installation the program was started in.
class InInstallation : public InTempDir {
protected:
    void SetUp() override {
        InTempDir::SetUp();
        platform.programDirectory = root_;
    }
    ScriptedPlatform platform;
};

} // namespace zelvoset::testing
