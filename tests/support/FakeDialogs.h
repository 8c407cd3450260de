#pragma once
// Message boxes for tests: records every message and answers from a script.
// While a FakeDialogs exists it is the program's dialogs in force.

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include "platform/Dialogs.h"

class FakeDialogs : public platform::Dialogs {
public:
    struct Shown {
        platform::MsgIcon icon;
        QString title;
        QString text;
        platform::MsgButtons buttons;
    };

    FakeDialogs() { platform::SetDialogs(this); }
    ~FakeDialogs() override { platform::SetDialogs(nullptr); }
    FakeDialogs(const FakeDialogs&) = delete;
    FakeDialogs& operator=(const FakeDialogs&) = delete;

    // Every message in the order shown.
    QList<Shown> messages;
    // The answers to give, first one first; once empty, every box is
    // answered with OK, or Yes for a yes/no question.
    QQueue<platform::MsgResult> answers;

    platform::MsgResult Message(platform::MsgIcon icon, const QString& title, const QString& text,
                                platform::MsgButtons buttons) override {
        messages.append(Shown{icon, title, text, buttons});
        if (!answers.isEmpty()) return answers.dequeue();
        return buttons == platform::MsgButtons::YesNo ? platform::MsgResult::Yes
                                                      : platform::MsgResult::Ok;
    }

    QStringList texts() const {
        QStringList result;
        for (const Shown& shown : messages) result.append(shown.text);
        return result;
    }
};
