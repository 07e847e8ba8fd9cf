#pragma once
// The one way library code talks to the user. The desktop programs show message
// boxes, ovcli prints to standard error and takes answers from its flags, and the
// tests record what was said and answer from a script.
//
// A library routine calls its Reporter on the thread it runs on. A program that
// runs such a routine on a worker thread gives it a Reporter that carries each
// message and question over to its own thread (and waits for the answer).

#include <string>
#include <string_view>

namespace ov {

enum class Icon { None, Information, Exclamation, Critical, Question };
enum class Buttons {
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel,
    YesYesToAllNoCancel,  // Yes, Yes to all, No, Cancel: one answer for a run of items
    YesYesToAllNoNoToAllCancel,  // the same with No to all
};
enum class Answer { Ok, Cancel, Yes, No, YesToAll, NoToAll };

class Reporter {
public:
    virtual ~Reporter() = default;
    virtual void message(std::string_view title, std::string_view text, Icon icon) = 0;
    virtual Answer question(std::string_view title, std::string_view text, Buttons buttons,
                            Icon icon) = 0;
};

// The answer that leaves everything as it is: No for a Yes/No question, Cancel
// wherever Cancel is offered.
inline Answer cautiousAnswer(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::OkCancel:
        case Buttons::YesNoCancel:
        case Buttons::YesYesToAllNoCancel:
        case Buttons::YesYesToAllNoNoToAllCancel:
            return Answer::Cancel;
    }
    return Answer::Cancel;
}

// Says nothing and gives the cautious answer to every question.
class SilentReporter final : public Reporter {
public:
    void message(std::string_view, std::string_view, Icon) override {}
    Answer question(std::string_view, std::string_view, Buttons buttons, Icon) override {
        return cautiousAnswer(buttons);
    }
};

const char* iconName(Icon icon);

}  // namespace ov
