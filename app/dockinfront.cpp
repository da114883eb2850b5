// SPDX-License-Identifier: GPL-3.0-or-later
#include "dockinfront.h"

#include <QDockWidget>
#include <QEvent>

namespace {

bool isInFront(const QDockWidget &dock) {
    if (!dock.isVisible())
        return false;
    const QWidget *window = dock.parentWidget();
    return dock.isFloating() || !window || dock.geometry().intersects(window->rect());
}

class FrontWatch : public QObject {
public:
    FrontWatch(QDockWidget &watched, std::function<void()> onChange)
        : QObject(&watched), dock(watched), changed(std::move(onChange)) {
        dock.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Show:
        case QEvent::Hide:
            update();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void update() {
        const bool front = isInFront(dock);
        QWidget *content = dock.widget();
        // A hidden dock hides its content with it; that content comes back when it is shown.
        if (content && dock.isVisible() && content->isVisibleTo(&dock) != front)
            content->setVisible(front);
        if (front != wasInFront) {
            wasInFront = front;
            changed();
        }
    }

    QDockWidget &dock;
    std::function<void()> changed;
    bool wasInFront = false;
};

} // namespace

void showContentOnlyInFront(QDockWidget &dock, std::function<void()> changed) {
    new FrontWatch(dock, std::move(changed));
}
