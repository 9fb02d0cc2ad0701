// Frm_crono: the stopwatch the coach keeps beside the station to time rest and
// work intervals, with an optional beep every few seconds so nobody has to
// watch the screen. It touches no measurement state.
#pragma once

#include "analysis/controlli.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTimer;

namespace vexa {

class Frm_crono : public QWidget {
    Q_OBJECT
public:
    explicit Frm_crono(ISuono& suono, QWidget* parent = nullptr);

    QGroupBox* Fre_crono = nullptr;
    QLineEdit* Txt_minuti = nullptr;
    QLineEdit* Txt_secondi = nullptr;
    QLineEdit* Txt_decimi = nullptr;
    QPushButton* Command1 = nullptr; // "Start"
    QPushButton* Command2 = nullptr; // "Stop"
    QCheckBox* Chk_avviso_acustico = nullptr;
    QGroupBox* Fre_conto_rovescia = nullptr;
    QLineEdit* txt_valore_cv = nullptr;
    QPushButton* cmd_conto_rovescia = nullptr;
    QTimer* Timer_1 = nullptr;

    // Milliseconds from a monotonic clock; by default one started with the
    // window, so neither a wrapping tick count nor a long uptime matters.
    std::function<qint64()> orologio_ms;
    // Asks for the beep period; nullopt when the user cancels.
    std::function<std::optional<QString>(const QString& messaggio)> chiedi_valore;
    // How the period is shown and read back (the user's regional settings).
    QLocale locale = QLocale::system();

    void Command1_Click();
    void Command2_Click();
    void Chk_avviso_acustico_Click();
    void cmd_conto_rovescia_Click();
    // One refresh of the fields, what Timer_1 runs every 100 ms; nothing while stopped.
    void tick();

    float periodo() const { return periodo_; }
    bool in_corso() const;

    // A prompt answer read as a beep period, or nullopt when it cannot be one:
    // not a number, or not rounding to a whole number of seconds from 1 to 32767.
    static std::optional<float> leggi_periodo(const QString& testo, const QLocale& locale);

protected:
    void closeEvent(QCloseEvent* evento) override;

private:
    void mostra_periodo();

    ISuono& suono_;
    QElapsedTimer orologio_;
    qint64 inizio_ = 0;
    float periodo_ = 5;
    bool armato_ = false;
    long secondo_precedente_ = 0; // shown second of the minute at the last tick
};

} // namespace vexa
