#include "app/uWindowParts.h"

#include "controls/PaintPanel.h"

#include <QFile>

namespace velmora {

QImage ResourceImage(const QString& name) {
    return QImage(QStringLiteral(":/velmora/") + name);
}

TPicture ResourcePicture(const QString& name) {
    QFile file(QStringLiteral(":/velmora/") + name);
    TPicture picture;
    if (file.open(QIODevice::ReadOnly)) {
        auto png = std::make_unique<TPngGraphic>();
        png->LoadFromStream(file.readAll());
        picture.SetGraphic(std::move(png));
    }
    return picture;
}

TPaintPanel* TitleBar(QWidget* parent, const QRect& geometry, const QString& caption,
                      const QString& picture, THorzStretchType stretch) {
    auto* bar = new TPaintPanel(parent);
    bar->setGeometry(geometry);
    bar->SetCaption(caption);
    bar->SetAlignment(taLeftJustify);
    bar->SetPicture(ResourcePicture(picture));
    bar->SetPicHorzStretch(stretch);
    bar->SetPicVertStretch(vstNone);
    return bar;
}

TPaintPanel* FramePanel(QWidget* parent, const QRect& geometry) {
    auto* frame = new TPaintPanel(parent);
    frame->setGeometry(geometry);
    frame->SetColor(Qt::white);
    frame->SetBevelStyle(bsSingle);
    frame->SetBevelColor(Silver);
    frame->SetBevelWidth(1);
    return frame;
}

} // namespace velmora
