// Shows a tab window with 100 sheets, each painting its own number, so that
// the tab beam, the scroll bars, the sizing grip and the in-place rename can
// be tried by hand. Double-click a tab to rename it.
#include "controls/control_classes.h"
#include "controls/tab_window.h"

#include <QApplication>
#include <QPainter>
#include <QVBoxLayout>
#include <QWidget>

namespace {

using namespace controls;

constexpr int kSheetCount = 100;

// A sheet that paints its number and the last scroll message it was passed.
class NumberSheet : public QWidget, public platform::MessageReceiver {
public:
    NumberSheet(int number, QWidget* parent)
        : QWidget(parent)
        , number_(number) {}

protected:
    platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                    platform::LParam) override {
        switch (message) {
        case platform::WM_SHEET_CAN_RENAME:
            return 1;
        case platform::WM_HSCROLL:
        case platform::WM_VSCROLL:
            lastScroll_ = QStringLiteral("%1 code %2 position %3")
                              .arg(message == platform::WM_HSCROLL ? "WM_HSCROLL" : "WM_VSCROLL")
                              .arg(wParam & 0xFFFF)
                              .arg(wParam >> 16);
            update();
            return 0;
        default:
            return 0;
        }
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor::fromHsv((number_ * 37) % 360, 60, 245));
        QFont font = painter.font();
        font.setPixelSize(std::max(12, height() / 3));
        painter.setFont(font);
        painter.drawText(rect(), Qt::AlignCenter, QString::number(number_));
        if (!lastScroll_.isEmpty()) {
            font.setPixelSize(12);
            painter.setFont(font);
            painter.drawText(rect().adjusted(6, 6, -6, -6), Qt::AlignLeft | Qt::AlignTop,
                             lastScroll_);
        }
    }

private:
    int number_;
    QString lastScroll_;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    RegisterControlClasses();

    QWidget window;
    window.setWindowTitle(QStringLiteral("Tab window demo"));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* tabs = static_cast<CGXTabWnd*>(CreateWindowOfClass(kTabWindowClass, &window, 1001));
    layout->addWidget(tabs);
    // Sized before the sheets arrive, so that the splitter starts half-way.
    window.resize(640, 400);
    tabs->resize(640, 400);
    for (int number = 0; number < kSheetCount; ++number) {
        auto* sheet = new NumberSheet(number, tabs);
        SetControlId(sheet, tabs->NewSheetId());
        // Names like the capture times of frames 40 ms apart.
        tabs->AddSheet(sheet, QString::number(number * 40));
    }
    window.move(0, 0);
    window.show();
    return QApplication::exec();
}
