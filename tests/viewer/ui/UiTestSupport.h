// What the viewer's widget tests share: a message sink that records what the
// viewer would have told the user, and a wait that keeps the event loop
// running until a condition holds (WaitFor.h).
#pragma once

#include "MessageSink.h"
#include "WaitFor.h"

#include <optional>
#include <string>
#include <vector>

// Records every message and question; questions get `answer` (no, unless
// the test says otherwise).
class RecordingSink : public MessageSink {
public:
    void message(const std::string& text, MessageIcon) override { messages.push_back(text); }
    bool question(const std::string& text) override {
        messages.push_back(text);
        return answer;
    }
    std::optional<std::string> saveFileName(const SaveFileRequest&) override { return {}; }
    void showAnnotation(const std::string&) override {}
    std::vector<std::string> messages;
    bool answer = false;
};
