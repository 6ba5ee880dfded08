#include "images/images_dialog.h"

#include "res/resource_ids.h"

#include <QAction>

namespace tesselon::images {

CImagesDlg::CImagesDlg(int count, int frameWidth, int frameHeight, const QStringList& names,
                       QWidget* parent)
    : ImagesWindow(count, frameWidth, frameHeight, names, res::IDD_IMAGES, {res::IDC_TAB_WINDOW},
                   parent) {}

void CImagesDlg::SetCommandsEnabled(bool enabled) {
    for (const int id : {res::ID_IMAGES_SAVE, res::ID_IMAGES_SAVE_AS, res::ID_IMAGES_SAVE_ALL,
                         res::ID_IMAGES_EXIT, res::ID_IMAGES_LABEL})
        Command(id)->setEnabled(enabled);
}

QRect CImagesDlg::TabWindowRect(int, QSize client) const {
    return QRect(QPoint(0, 0), client);
}

} // namespace tesselon::images
