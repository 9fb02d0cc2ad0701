// What the log keeps of the errors the user is never shown, and of the bytes a
// serial port had to drop: each with the port it concerns, in its category.
#include "porta_memoria.h"

#include "analysis/vista_memoria.h"
#include "device/porta_seriale.h"
#include "device/protocollo.h"
#include "device/registro.h"
#include "sim/board_sim.h"

#include <QTemporaryDir>
#include <QtTest>

#include <mutex>
#include <vector>

using namespace vexa;
using namespace vexa::prova;

namespace {

struct Riga {
    QtMsgType tipo;
    QString categoria, testo;
};

// Catches what is logged while it lives.
class Cattura {
public:
    Cattura() {
        // What happens along the way is off by default; these tests look at it too.
        QLoggingCategory::setFilterRules(QStringLiteral("vexa.*.info=true\nvexa.*.debug=true"));
        attiva_ = this;
        precedente_ = qInstallMessageHandler(&Cattura::gestore);
    }
    ~Cattura() {
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(precedente_);
        attiva_ = nullptr;
    }
    // Lines of `categoria` at `tipo` or worse whose text has every piece.
    int conta(const char* categoria, QtMsgType tipo, std::initializer_list<const char*> pezzi) const {
        int n = 0;
        for (const Riga& r : righe) {
            if (r.categoria != QLatin1String(categoria) || gravita(r.tipo) < gravita(tipo)) continue;
            bool tutti = true;
            for (const char* p : pezzi) tutti = tutti && r.testo.contains(QString::fromUtf8(p));
            n += tutti ? 1 : 0;
        }
        return n;
    }
    std::vector<Riga> righe;

private:
    static int gravita(QtMsgType t) {
        switch (t) {
        case QtDebugMsg: return 0;
        case QtInfoMsg: return 1;
        case QtWarningMsg: return 2;
        case QtCriticalMsg: return 3;
        case QtFatalMsg: return 4;
        }
        return 0;
    }
    static void gestore(QtMsgType tipo, const QMessageLogContext& c, const QString& testo) {
        if (attiva_) attiva_->righe.push_back({tipo, QString::fromUtf8(c.category ? c.category : ""), testo});
    }
    static inline Cattura* attiva_ = nullptr;
    QtMessageHandler precedente_ = nullptr;
};

struct Banco {
    Stato s;
    PortaMemoria p;
    ServiziRegistro sv;
    ProvaMemoria prova;
    Analizzatore a{s, prova.vista};
    Protocollo pr{s, p, sv};
    Banco() {
        s.seriale_attiva = true;
        s.timeout_attesa = 30;
        pr.imposta_analisi(&a);
        p.setCommPort(5);
    }
};

} // namespace

class TestRegistro : public QObject {
    Q_OBJECT
private slots:
    void errori_taciuti_sono_nel_registro() {
        Banco b;
        Cattura c;
        // The information block on a closed port: silent for the user, not for the log.
        b.pr.Leggi_info_scheda();
        QVERIFY(b.sv.messaggi.empty());
        QCOMPARE(c.conta("vexa.protocollo", QtWarningMsg, {"blocco informazioni", "com5", "8018"}), 1);
        // Emptying the input of a closed port.
        QVERIFY(c.conta("vexa.protocollo", QtInfoMsg, {"ingresso non svuotato", "com5"}) >= 1);

        // What the user is told is logged too, with the port.
        b.pr.Rileva_tipo_scheda();
        QCOMPARE(b.sv.messaggi.size(), std::size_t{1});
        QCOMPARE(c.conta("vexa.protocollo", QtWarningMsg, {"tipo di scheda non rilevato", "com5"}), 1);

        // A receive event cut short by a port that went away.
        b.p.setPortOpen(true);
        b.s.acquisizione_in_corso = b.s.ricezione_abilitata = true;
        b.p.setRThreshold(12);
        b.p.setInputLen(12);
        b.p.arriva(std::vector<uint8_t>(13, 0));
        const int prima = c.conta("vexa.protocollo", QtWarningMsg, {"collegamento perso"});
        b.p.perdi();
        QCOMPARE(c.conta("vexa.protocollo", QtWarningMsg, {"collegamento perso", "com5"}), prima + 1);
    }

    void analisi_dice_cosa_ha_scartato() {
        Stato s;
        ProvaMemoria prova;
        Analizzatore a(s, prova.vista);
        std::vector<std::pair<int, std::string>> detti;
        a.registro = [&](int livello, const std::string& t) { detti.emplace_back(livello, t); };
        s.seriale_attiva = true;
        s.scala_posizione = 1;
        s.grafico_live = true;
        int arretrato = 0;
        a.arretrato = [&] { return arretrato; };
        const double pos[2] = {0, 0};
        const float dt[2] = {10, 10};
        arretrato = 500;
        a.Elabora_blocco(1, pos, dt);
        a.Elabora_blocco(1, pos, dt); // still backed up: said once
        arretrato = 100;
        a.Elabora_blocco(1, pos, dt);
        arretrato = 0;
        a.Elabora_blocco(1, pos, dt);
        QCOMPARE(detti.size(), std::size_t{2});
        QVERIFY(detti[0].second.find("sospeso") != std::string::npos);
        QVERIFY(detti[0].second.find("500") != std::string::npos);
        QVERIFY(detti[1].second.find("ripreso") != std::string::npos);
        // A hidden graph is no backlog: nothing said, block after block.
        prova.grafico0.e_visibile = false;
        for (int i = 0; i < 5; ++i) a.Elabora_blocco(1, pos, dt);
        QCOMPARE(detti.size(), std::size_t{2});
    }

    void porta_che_scarta_lo_dice() {
        // A board babbling into a port nobody reads: the oldest bytes go, counted and logged.
        QTemporaryDir cartella;
        sim::SchedaSimulata scheda(sim::OpzioniScheda{});
        QVERIFY(scheda.apri());
        QVERIFY(scheda.collega(cartella.filePath(QStringLiteral("com2"))));
        PortaSeriale porta;
        porta.imposta_cartella_porte(cartella.path());
        porta.imposta_limite_ingresso(1000);
        porta.setCommPort(2);
        Cattura c;
        porta.setPortOpen(true);
        QVERIFY(c.conta("vexa.seriale", QtInfoMsg, {"com2", "aperta"}) >= 1);
        scheda.trasmetti(QByteArray(3000, 'x'));
        QTRY_VERIFY(porta.byte_scartati() >= 2000);
        QCOMPARE(porta.InBufferCount(), 1000);
        QVERIFY(c.conta("vexa.seriale", QtWarningMsg, {"com2", "scartati"}) >= 1);
    }
};

QTEST_MAIN(TestRegistro)
#include "test_registro.moc"
