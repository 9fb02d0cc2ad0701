// An axis that keeps its picture between frames. A vertical axis of a live
// graph looks the same frame after frame while the view scrolls sideways,
// yet the plot draws it anew every time: its caption is laid out again,
// every label is looked up, a third of a frame for three axes. This one
// draws into a picture of its own whenever anything it shows has changed and
// otherwise lays that picture down.
#pragma once

#include <qcustomplot.h>

namespace vexa {

class AsseMemorizzato : public QCPAxis {
public:
    using QCPAxis::QCPAxis;

    // The axis rect's default axis of that type replaced by one of these,
    // placed, gridded and shown as the default was.
    static AsseMemorizzato* sostituisci(QCPAxisRect* rett, QCPAxis*& asse);

    long disegni() const { return disegni_; } // pictures drawn, not laid down

protected:
    void draw(QCPPainter* painter) override;

private:
    // Everything the drawing reads; the picture stands while this does.
    struct Firma {
        QCPRange range;
        bool rovesciato = false;
        QRect rett, vista;
        QVector<double> tacche, sottotacche;
        QVector<QString> etichette;
        QString didascalia;
        QPen base, tacca, sottotacca;
        QFont carattere_etichette, carattere_didascalia;
        QColor colore_etichette, colore_didascalia;
        bool mostra_tacche = false, mostra_sottotacche = false, mostra_etichette = false, potenze = false;
        int tacca_dentro = 0, tacca_fuori = 0, sottotacca_dentro = 0, sottotacca_fuori = 0;
        int spazio_etichette = 0, spazio_didascalia = 0, scostamento = 0;
        double rotazione = 0;
        int lato = 0;
        bool croce = false;
        int fine_bassa[4] = {}, fine_alta[4] = {};
        bool sfumato = false;
        QCPPainter::PainterModes modi;
        qreal dpr = 1;
        bool operator==(const Firma&) const = default;
    };
    Firma firma(const QCPPainter* painter) const;
    // Where the axis may paint: everything outward of the axis rect on its
    // side, and its inward ticks and endings.
    QRect area() const;

    QImage immagine_;
    QRect area_;
    Firma firma_;
    bool valida_ = false;
    long disegni_ = 0;
};

} // namespace vexa
