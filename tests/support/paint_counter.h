// Counts the paint events a widget receives: install it as the widget's event filter.
#pragma once

#include <QEvent>
#include <QObject>

namespace testing_support {

class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace testing_support
