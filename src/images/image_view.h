// ImageView: a view of the images dialogs (a window of class "GXWND", one
// sheet of a tab window): it paints one image of an ImageList, its frame rows
// and, with the label on, the band under them, stretched smoothly to the
// view as the main window stretches its picture.
//
// Painting only reads the picture. User-interface thread only.
#pragma once

#include <QWidget>

#include <vector>

namespace images {

class ImageList;

class ImageView : public QWidget {
    Q_OBJECT

public:
    // Shows image `index` of `list`, which must outlive the view.
    ImageView(const ImageList& list, int index, QWidget* parent = nullptr);

    int Index() const { return index_; }
    // Where the picture is painted: the whole view, or, when the view is not
    // in the picture's aspect, the largest rectangle in aspect, centred
    // between black bars.
    QRect PictureRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const ImageList& list_;
    const int index_;
};

// The image that a tab window shows: the position of its current sheet among
// `views`, or -1 when the sheet is not one of them.
int ImageIndexOfSheet(const QWidget* sheet, const std::vector<ImageView*>& views);

} // namespace images
