// One column of the values list. A list view lays every row out again each
// time a row is added, and a long session lists thousands of repetitions in
// fifteen columns: here a row is added in constant time, and only the rows in
// sight are ever drawn. Rows are drawn by the style as an item view draws its
// items, so the column looks as a list box does.
#pragma once

#include <QAbstractScrollArea>
#include <QString>

#include <functional>
#include <vector>

class QStyleOptionViewItem;

namespace vexa {

class ListaValori : public QAbstractScrollArea {
    Q_OBJECT
public:
    ListaValori(int indice, QWidget* parent);
    int indice() const { return indice_; }

    int count() const { return static_cast<int>(righe_.size()); }
    QString testo(int riga) const;
    void aggiungi(const QString& testo);
    void imposta_testo(int riga, const QString& testo);
    void cancella();

    // -1 when no row is selected. Setting a row brings it into view; -1 or a
    // row off the list clears the selection.
    int currentRow() const { return corrente_; }
    void setCurrentRow(int riga);
    // Where a row stands in the viewport (it may lie outside it).
    QRect visualItemRect(int riga) const;
    void scorri_a(int riga);

    // Told after the list has handled the press, key or double click itself:
    // the window's handlers expect the row the list already moved to.
    std::function<void(int indice, Qt::MouseButton)> su_mouse_down;
    std::function<void(int indice)> su_key_up;
    std::function<void(int indice)> su_doppio_click;

signals:
    void currentRowChanged(int riga);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    int altezza_riga() const;
    int righe_intere() const;
    int riga_in(int y) const;
    void opzione(QStyleOptionViewItem& o) const;
    void aggiorna_barra();
    void ridisegna_riga(int riga);

    int indice_;
    std::vector<QString> righe_;
    int corrente_ = -1;
    mutable int altezza_ = 0; // 0: to be asked of the style again
};

} // namespace vexa
