#include "piano_opaco.h"

namespace vexa {

// The background, first thing on the sheet.
class PianoOpaco::Sfondo : public QCPLayerable {
public:
    Sfondo(PianoOpaco* piano, const QString& strato) : QCPLayerable(piano, strato), piano_(piano) {}

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override { painter->setAntialiasing(false); }
    // The layer clips one row up; the background reaches the last row too.
    QRect clipRect() const override { return piano_->viewport().translated(0, 1); }
    void draw(QCPPainter* painter) override {
        if (piano_->sfondo_opaco()) painter->fillRect(piano_->viewport(), piano_->mBackgroundBrush);
    }

private:
    PianoOpaco* piano_;
};

// The plot's first sheet: without an alpha channel while the background is
// opaque, cleared by the background's own fill.
class PianoOpaco::Foglio : public QCPAbstractPaintBuffer {
public:
    Foglio(const QSize& dimensione, double dpr, const PianoOpaco* piano)
        : QCPAbstractPaintBuffer(dimensione, dpr), piano_(piano) {
        Foglio::reallocateBuffer();
    }
    QCPPainter* startPainting() override { return new QCPPainter(&immagine_); }
    void draw(QCPPainter* painter) const override { painter->drawImage(QPointF(0, 0), immagine_); }
    void clear(const QColor& colore) override {
        const bool opaco = piano_->sfondo_opaco();
        const QImage::Format formato = opaco ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
        if (immagine_.format() != formato) reallocateBuffer();
        if (!opaco) immagine_.fill(colore);
    }

protected:
    void reallocateBuffer() override {
        setInvalidated();
        const QImage::Format formato =
            piano_->sfondo_opaco() ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
        immagine_ = QImage(mSize * mDevicePixelRatio, formato);
        immagine_.setDevicePixelRatio(mDevicePixelRatio);
    }

private:
    const PianoOpaco* piano_;
    QImage immagine_;
};

PianoOpaco::PianoOpaco(QWidget* parent) : QCustomPlot(parent) {
    const QString nome = QStringLiteral("sfondo_opaco");
    addLayer(nome, layer(0), QCustomPlot::limBelow);
    new Sfondo(this, nome); // owned by the plot, as every layerable is
    // The plot makes its first sheet only where it has none.
    mPaintBuffers.prepend(QSharedPointer<QCPAbstractPaintBuffer>(
        new Foglio(viewport().size(), bufferDevicePixelRatio(), this)));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool PianoOpaco::sfondo_opaco() const {
    return mBackgroundPixmap.isNull() && mBackgroundBrush.style() == Qt::SolidPattern &&
           mBackgroundBrush.color().alpha() == 255;
}

void PianoOpaco::paintEvent(QPaintEvent* event) {
    if (!sfondo_opaco() || mPaintBuffers.isEmpty() || mViewport != rect()) {
        QCustomPlot::paintEvent(event);
        return;
    }
    // The first sheet holds the background and has no alpha channel: laid
    // down, it is copied (the raster engine's fast path for such an image is
    // the plain mode's, not the copying mode's). Any further sheet on top.
    QCPPainter painter(this);
    if (!painter.isActive()) return;
    for (const QSharedPointer<QCPAbstractPaintBuffer>& foglio : std::as_const(mPaintBuffers)) foglio->draw(&painter);
}

} // namespace vexa
