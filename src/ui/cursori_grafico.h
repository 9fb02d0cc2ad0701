// The cursors of a graph and its two readouts: dashed vertical lines with a
// mark at their point, and texts in the upper corners. Cursors are numbered
// from 1 and have names, as the trial window addresses them; readouts are
// numbered 1 (left) and 2 (right).
#pragma once

#include <QColor>
#include <QString>

#include <array>
#include <cstddef>
#include <string>
#include <vector>

class QCPAxis;
class QCPItemStraightLine;
class QCPItemText;
class QCPItemTracer;
class QCPLayer;
class QCustomPlot;
class QFont;
class QPointF;

namespace vexa {

struct DefCursore {
    const char* nome;
    QColor colore;
};

class CursoriGrafico {
public:
    // On the plot's x axis and its first y axis, all at (0, 0) to begin with.
    CursoriGrafico(QCustomPlot* qcp, QCPAxis* x, QCPAxis* y, const DefCursore* def, std::size_t n,
                   const QFont& font_letture);

    // Everything here draws on this layer; repainting it is the caller's.
    QCPLayer* strato() const { return strato_; }

    int per_nome(const std::string& nome) const; // 0 when there is none
    bool esiste(int c) const { return c >= 1 && c <= static_cast<int>(cursori_.size()); }
    double x(int c) const { return esiste(c) ? cursori_[indice(c)].x : 0.0; }
    double y(int c) const { return esiste(c) ? cursori_[indice(c)].y : 0.0; }
    void colloca(int c, double x, double y);
    // The cursor whose line a press at `pos` (the plot's pixels) grabs, 0 for none.
    int vicino(const QPointF& pos) const;

    // False, and nothing changed, for a readout that does not exist.
    bool imposta_lettura(int n, const QString& testo);
    QString lettura(int n) const;

private:
    struct Cursore {
        std::string nome;
        double x = 0, y = 0;
        QCPItemStraightLine* linea = nullptr;
        QCPItemTracer* segno = nullptr;
    };
    static std::size_t indice(int c) { return static_cast<std::size_t>(c - 1); }

    QCustomPlot* qcp_;
    QCPAxis* x_;
    QCPLayer* strato_ = nullptr;
    std::vector<Cursore> cursori_;
    std::array<QCPItemText*, 2> letture_{};
};

} // namespace vexa
