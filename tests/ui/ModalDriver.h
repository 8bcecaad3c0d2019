// Drives the modal windows a dialog opens from inside its handlers: each step
// waits for the window with the given object name to become the active modal
// (or popup) window and acts on it. Message boxes nobody asked for are closed
// and recorded, so a test can tell how often a message came up.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>

namespace tidewell::test {

class ModalDriver {
  public:
    ModalDriver() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        // Polling the event loop, not waiting for a guessed time.
        timer_.start(5);
    }

    ModalDriver& Then(const QString& objectName, std::function<void(QWidget*)> action) {
        steps_.push_back({objectName, std::move(action)});
        return *this;
    }

    bool AllStepsDone() const { return steps_.empty(); }
    // Object names of the windows acted on or closed, in order.
    const QStringList& seen() const { return seen_; }
    // Texts of the message boxes among them.
    const QStringList& messages() const { return messages_; }
    int Count(const QString& objectName) const { return int(seen_.count(objectName)); }

  private:
    struct Step {
        QString name;
        std::function<void(QWidget*)> action;
    };

    void Poll() {
        QWidget* w = QApplication::activePopupWidget();
        if (!w) w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == last_) return;
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!steps_.empty() && w->objectName() == steps_.front().name) {
            Step step = std::move(steps_.front());
            steps_.pop_front();
            Record(w, box);
            step.action(w);
        } else if (box) {
            Record(w, box);
            box->done(QMessageBox::Ok);
        }
    }

    void Record(QWidget* w, QMessageBox* box) {
        last_ = w;
        seen_ << w->objectName();
        if (box) messages_ << box->text();
    }

    QTimer timer_;
    std::deque<Step> steps_;
    QPointer<QWidget> last_;
    QStringList seen_;
    QStringList messages_;
};

}  // namespace tidewell::test
