#include "images/images4_dialog.h"

#include "images/composite.h"
#include "images/save_paths.h"
#include "res/resource_ids.h"

#include <QAction>

namespace images {

CImages4Dlg::CImages4Dlg(int count, int frameWidth, int frameHeight, const QStringList& names,
                         picture::Shape shape, QWidget* parent)
    : ImagesWindow(count, frameWidth, frameHeight, names, shape, res::IDD_IMAGES4,
                   {res::IDC_TAB_WINDOW_0, res::IDC_TAB_WINDOW_1, res::IDC_TAB_WINDOW_2,
                    res::IDC_TAB_WINDOW_3},
                   parent) {
    Command(res::ID_IMAGES_SAVE)->setEnabled(false);
    Command(res::ID_IMAGES_SAVE_ALL)->setEnabled(false);
}

void CImages4Dlg::SetCommandsEnabled(bool enabled) {
    for (const int id : {res::ID_IMAGES_SAVE_AS, res::ID_IMAGES_EXIT, res::ID_IMAGES_LABEL,
                         res::ID_IMAGES_FORMAT, res::ID_IMAGES_COPY})
        Command(id)->setEnabled(enabled);
    if (!enabled) {
        Command(res::ID_IMAGES_SAVE)->setEnabled(false);
        Command(res::ID_IMAGES_SAVE_ALL)->setEnabled(false);
    }
}

QRect CImages4Dlg::QuarterRect(int view, QSize client) {
    const int w = client.width();
    const int h = client.height();
    const int left = view % 2 == 0 ? 0 : w / 2;
    const int top = view < 2 ? 0 : h / 2;
    // Right and bottom edges: one pixel before the half, or the client's edge.
    const int right = view % 2 == 0 ? w / 2 - 1 : w;
    const int bottom = view < 2 ? h / 2 - 1 : h;
    return QRect(left, top, right - left, bottom - top);
}

void CImages4Dlg::OnSaveAs() {
    BeginSave();
    const std::optional<std::filesystem::path> chosen = ChooseOneSavePath(QString());
    if (!chosen)
        return;
    // A composite that cannot be had fails the save as any empty job does.
    composite_ = BuildComposite(List());
    StartSave({SaveJob::Of(composite_, composite_.Rows(), *chosen, FormatForPath(*chosen))}, Worker::kSaveOne);
}

} // namespace images
