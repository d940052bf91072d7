#pragma once

#include "FakePlatform.h"
#include "Platform.h"

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace zelvoset::testing {

// A system's real platform with a program directory of the test's choosing and a scripted user.
template <class RealPlatform> class Scripted : public RealPlatform {
public:
    using Message = FakePlatform::Message;
    std::string programDirectory;
    std::deque<int> answers;
    std::vector<Message> messages;

    std::string ProgramDirectory() override { return programDirectory; }
    int ShowMessage(std::string_view text, int style, std::string_view title) override {
        messages.push_back({std::string(text), style, std::string(title)});
        if (style != kStyleQuestion)
            return kAnswerOk;
        const int answer = answers.empty() ? kAnswerNo : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
};

} // namespace zelvoset::testing
