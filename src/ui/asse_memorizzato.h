// An axis that keeps its picture between frames. A vertical axis of a live
// graph looks the same frame after frame while the view scrolls sideways,
// yet the plot draws it anew every time: its caption is laid out again,
// every label is looked up, a third of a frame for three axes. This one
// draws into a picture of its own whenever anything it shows has changed and
// otherwise lays that picture down; its ticks are worked out again only when
// its range changes.
#pragma once

#include <qcustomplot.h>

#include <type_traits>

namespace vexa {

// A ticker that gives the last ticks again while nothing they depend on has
// changed: the plot asks every axis for its ticks and their labels, formatted
// anew, at every frame, and most axes stand still.
template <class Base> class TaccheMemorizzate : public Base {
public:
    void generate(const QCPRange& range, const QLocale& locale, QChar formato, int precisione, QVector<double>& tacche,
                  QVector<double>* sottotacche, QVector<QString>* etichette) override {
        Chiave k{range, locale.name(), formato, precisione, this->tickCount(), this->tickOrigin(),
                 static_cast<int>(this->tickStepStrategy()), sottotacche != nullptr, etichette != nullptr, 0, 0};
        if constexpr (std::is_base_of_v<QCPAxisTickerFixed, Base>) {
            k.passo = this->tickStep();
            k.scala = static_cast<int>(this->scaleStrategy());
        }
        if (!valida_ || !(k == chiave_)) {
            Base::generate(range, locale, formato, precisione, tacche_, sottotacche ? &sottotacche_ : nullptr,
                           etichette ? &etichette_ : nullptr);
            chiave_ = std::move(k);
            valida_ = true;
        }
        tacche = tacche_;
        if (sottotacche) *sottotacche = sottotacche_;
        if (etichette) *etichette = etichette_;
    }

private:
    struct Chiave {
        QCPRange range;
        QString locale;
        QChar formato;
        int precisione, quante;
        double origine;
        int strategia;
        bool sotto, etichette;
        double passo;
        int scala;
        bool operator==(const Chiave&) const = default;
    };
    Chiave chiave_{};
    bool valida_ = false;
    QVector<double> tacche_, sottotacche_;
    QVector<QString> etichette_;
};

class AsseMemorizzato : public QCPAxis {
public:
    explicit AsseMemorizzato(QCPAxisRect* rett, AxisType tipo);

    // The axis rect's default axis of that type replaced by one of these,
    // placed, gridded and shown as the default was.
    static AsseMemorizzato* sostituisci(QCPAxisRect* rett, QCPAxis*& asse);

    long disegni() const { return disegni_; } // pictures drawn, not laid down

protected:
    void draw(QCPPainter* painter) override;

private:
    // A horizontal axis moves with the view and is drawn every frame; only
    // its caption, laid out and shaped anew each time by the plot, is kept.
    void disegna_con_didascalia_memorizzata(QCPPainter* painter);

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

    QImage didascalia_;
    QString testo_didascalia_;
    QFont carattere_didascalia_;
    QColor colore_didascalia_;
    int larghezza_didascalia_ = -1;
    qreal dpr_didascalia_ = 0;

    QImage immagine_;
    QRect area_;
    Firma firma_;
    bool valida_ = false;
    long disegni_ = 0;
};

} // namespace vexa
