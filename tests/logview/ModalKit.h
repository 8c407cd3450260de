#pragma once
// Answers for the modal windows of the log and restore tests: a check runs
// inside the modal loop of the first window of a type that opens, as an
// operator would act on it. A window that never opens is reported by
// answered() being false.

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

// The offscreen platform cannot raise or activate a window in some ways the
// windows ask for; those warnings say nothing about the program.
inline void QuietOffscreenWarnings() {
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (type == QtWarningMsg && text.startsWith(u"This plugin does not support")) return;
            if (previous != nullptr) previous(type, context, text);
        });
}

template <typename Dialog>
class WhenModal {
public:
    explicit WhenModal(std::function<void(Dialog&)> answer) : answer_(std::move(answer)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible()) return;
            timer_.stop();
            answered_ = true;
            answer_(*dialog);
            // A failed check inside the answer must not leave the window open.
            if (dialog->isVisible() && QTest::currentTestFailed()) dialog->done(0);
        });
        timer_.start();
    }
    bool answered() const { return answered_; }

private:
    std::function<void(Dialog&)> answer_;
    QTimer timer_;
    bool answered_ = false;
};
