// The settings window on a temporary data folder, with the per-user settings
// store moved aside: what the lists offer and take, what OK writes and where,
// and how it copes with files it did not write or cannot write.
#include "settings/frm_utente.h"

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <deque>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <vector>

using namespace vexa;

namespace {

QString fixture(const QString& nome) {
    return QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("../fixtures/impostazioni/") + nome);
}

QByteArray leggi(const QString& percorso) {
    QFile f(percorso);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void scrivi(const QString& percorso, const QByteArray& byte) {
    QDir().mkpath(QFileInfo(percorso).path());
    QFile f(percorso);
    if (!f.open(QIODevice::WriteOnly) || f.write(byte) != byte.size()) qFatal("scrittura non riuscita");
}

void copia_cartella(const QString& da, const QString& a) {
    QDirIterator it(da, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        const QString dest = QDir(a).filePath(QDir(da).relativeFilePath(p));
        if (it.fileInfo().isDir())
            QDir().mkpath(dest);
        else
            scrivi(dest, leggi(p));
    }
}

QSettings funz() {
    return QSettings(QStringLiteral("vexameter"), QStringLiteral("vexameter"));
}
void memorizza(const QString& chiave, const QString& valore) { funz().setValue(QStringLiteral("funz/") + chiave, valore); }
QString memorizzato(const QString& chiave) { return funz().value(QStringLiteral("funz/") + chiave).toString(); }

struct ChiamataGrafico {
    int grafico, asse;
    double minimo, massimo;
    bool operator==(const ChiamataGrafico&) const = default;
};

struct Banco {
    QTemporaryDir tmp;
    QString dati;
    Stato s;
    std::unique_ptr<Frm_utente> f;
    QStringList messaggi;
    QStringList domande;
    std::deque<std::optional<QString>> risposte;
    std::vector<ChiamataGrafico> grafico;
    int intestazioni = 0;
    int chiusure = 0;

    Banco() {
        dati = tmp.filePath(QStringLiteral("dati"));
        QDir().mkpath(dati);
        // As the start-up sets them.
        s.cartella_ini = QDir::toNativeSeparators(dati + QStringLiteral("/ini")).toStdString();
        s.file_pesi = QDir::toNativeSeparators(dati + QStringLiteral("/ini/pesi.ini")).toStdString();
    }
    QString percorso(const QString& relativo) const { return QDir::toNativeSeparators(dati + '/' + relativo); }
    void dati_da(const QString& cartella) { copia_cartella(fixture(cartella), dati); }
    void pesi(const QByteArray& byte) { scrivi(percorso(QStringLiteral("ini/pesi.ini")), byte); }

    Frm_utente& apri() {
        f = std::make_unique<Frm_utente>(s, dati);
        f->mostra_messaggio = [this](const QString& t) { messaggi << t; };
        f->chiedi_valore = [this](const QString& d) {
            domande << d;
            std::optional<QString> r = risposte.front();
            risposte.pop_front();
            return r;
        };
        f->update_graph = [this](int g, int a, double mn, double mx) { grafico.push_back({g, a, mn, mx}); };
        f->aggiorna_intestazione = [this] { ++intestazioni; };
        f->alla_chiusura = [this] { ++chiusure; };
        f->show();
        return *f;
    }
    void aggiungi(int riga, std::optional<QString> valore) {
        risposte.push_back(std::move(valore));
        f->Cmd_add_Click(riga);
    }
    QStringList voci(int riga) const {
        QStringList v;
        for (int k = 0; k < f->txt_utente[riga]->count(); ++k) v << f->txt_utente[riga]->itemText(k);
        return v;
    }
    QString scelta(int riga) const { return f->txt_utente[riga]->currentText(); }
    int indice(int riga) const { return f->txt_utente[riga]->currentIndex(); }
    // As the user's choice in the drop-down list.
    void scegli(int riga, int i) { f->txt_utente[riga]->setCurrentIndex(i); }
};

// " 8 ", the squads, then lists 2 to 8 as given ("" = empty).
QByteArray pesi_con(const QStringList& squadre, const QList<QStringList>& altre = {}) {
    auto blocco = [](const QStringList& voci) {
        QByteArray b = (voci.isEmpty() ? "-1 \r\n" : " " + QByteArray::number(voci.size() - 1) + " \r\n");
        for (const QString& v : voci) b += v.toLatin1() + "\r\n";
        return b;
    };
    QByteArray b = " 8 \r\n" + blocco(squadre);
    for (int i = 0; i < 7; ++i) b += blocco(i < altre.size() ? altre[i] : QStringList());
    return b;
}

// The data folder written by another system, with Mario Rossi of Squadra A
// as the stored selection.
void dati_dell_altro_sistema(Banco& b) {
    b.dati_da(QStringLiteral("cartella_dati"));
    memorizza(QStringLiteral("squadra"), QStringLiteral("Squadra A"));
    memorizza(QStringLiteral("nome_utente"), QStringLiteral("Mario Rossi"));
    memorizza(QStringLiteral("pos_squadra"), QStringLiteral("1"));
    memorizza(QStringLiteral("pos_utente"), QStringLiteral("1"));
}

} // namespace

class TestFrmUtente : public QObject {
    Q_OBJECT
    QTemporaryDir impostazioni_;

private slots:
    void initTestCase() {
        QVERIFY(impostazioni_.isValid());
        QStandardPaths::setTestModeEnabled(true);
        qputenv("XDG_CONFIG_HOME", impostazioni_.filePath(QStringLiteral("config")).toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, impostazioni_.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, impostazioni_.path());
    }
    void init() { funz().clear(); }

    void finestra_e_righe() {
        Banco b;
        Frm_utente& f = b.apri();
        QCOMPARE(f.windowTitle(), QStringLiteral("Impostazione dati esercizio"));
        const char* didascalie[] = {"Squadra", "Identificativo Atleta", "Carico             (Kg)",
                                    "Identificativo Esercizio", "Velocità Massima (mm/s)", "Limite Superiore   (%)",
                                    "Limite Inferiore   (%)", "Ampiezza minima    (mm)", "Nota"};
        for (int i = 0; i < 9; ++i) QCOMPARE(f.Lbl_utente[i]->text(), QString::fromUtf8(didascalie[i]));
        QVERIFY(f.txt_utente[0]->toolTip().isEmpty());
        QCOMPARE(f.txt_utente[4]->toolTip(),
                 QStringLiteral("Inserire valore della massima velocità, rispetto al carico di cui sapra, con cui "
                                "potrà essere svolto l'esercizio "));
        QCOMPARE(f.Txt_nota->text(), QStringLiteral("nota"));
        QCOMPARE(f.Txt_nota->toolTip(), QStringLiteral("Inserire eventuale nota generale"));
        // The note row has no list of its own and never shows the buttons.
        QVERIFY(!f.txt_utente[8]->isVisible() && !f.Cmd_add[8]->isVisible() && !f.Cmd_elimina[8]->isVisible());
        QVERIFY(f.Cmd_add[7]->isVisible() && f.Txt_nota->isVisible());
        QCOMPARE(f.Txt_nota->geometry(), f.txt_utente[8]->geometry());
        // Twips at 15 a pixel: lists 570 apart, row 8 above the two buttons.
        QCOMPARE(f.txt_utente[0]->geometry(), QRect(264, 24, 129, 28));
        QCOMPARE(f.txt_utente[8]->y(), 24 + 8 * 38);
        QCOMPARE(f.Lbl_utente[3]->geometry(), QRect(48, 24 + 3 * 38, 113, 38));
        QCOMPARE(f.Cmd_ok->geometry(), QRect(352, 376, 89, 41));
        QCOMPARE(f.Cmd_annulla->text(), QStringLiteral("&Annulla"));
        QVERIFY(f.txt_utente[8]->geometry().bottom() < f.Cmd_ok->y());
    }

    void soglia_di_perdita_per_atleta_ed_esercizio() {
        Banco b;
        dati_dell_altro_sistema(b);
        Frm_utente& f = b.apri();
        // Beside the buttons, below the rows, which stay where they were.
        QVERIFY(f.Txt_soglia->y() > f.txt_utente[8]->geometry().bottom());
        QVERIFY(f.Txt_soglia->geometry().right() < f.Cmd_ok->x());
        QCOMPARE(b.scelta(1) + b.scelta(3), QStringLiteral("Mario RossiSquat"));
        QCOMPARE(f.Txt_soglia->value(), 20);
        f.Txt_soglia->setValue(25);
        f.Cmd_ok_Click();
        QCOMPARE(b.s.soglia_perdita, 25.0f);

        // Each athlete and exercise has its own; OK makes the shown one current.
        Frm_utente& g = b.apri();
        QCOMPARE(g.Txt_soglia->value(), 25);
        b.scegli(3, 0);
        QCOMPARE(g.Txt_soglia->value(), 20);
        b.scegli(3, 1);
        QCOMPARE(g.Txt_soglia->value(), 25);
        b.scegli(1, 0);
        QCOMPARE(b.scelta(1), QStringLiteral("Luca Bianchi"));
        QCOMPARE(g.Txt_soglia->value(), 20);
        g.Txt_soglia->setValue(0); // no alert
        QCOMPARE(g.Txt_soglia->text(), QStringLiteral("nessuna"));
        g.Cmd_ok_Click();
        QCOMPARE(b.s.soglia_perdita, 0.0f);
        QCOMPARE(b.apri().Txt_soglia->value(), 0);
        QVERIFY(b.messaggi.isEmpty());
    }

    void atleti_in_ordine_di_nome() {
        Banco b;
        b.pesi(pesi_con({"Altra", "Squadra A"}));
        QDir().mkpath(b.percorso("Squadra A/B2"));
        QDir().mkpath(b.percorso("Squadra A/A1"));
        scrivi(b.percorso("Squadra A/note.txt"), "non è un atleta");
        b.apri();
        QVERIFY(b.voci(1).isEmpty()); // no squad stored yet
        b.scegli(0, 1);
        QCOMPARE(b.s.squadra, std::string("Squadra A"));
        QCOMPARE(b.voci(1), (QStringList{"A1", "B2"}));
        QCOMPARE(b.scelta(1), QStringLiteral("A1"));

        // The stored squad lists its athletes when the window is built.
        memorizza(QStringLiteral("squadra"), QStringLiteral("Squadra A"));
        memorizza(QStringLiteral("pos_squadra"), QStringLiteral("1"));
        memorizza(QStringLiteral("pos_utente"), QStringLiteral("1"));
        b.apri();
        QCOMPARE(b.voci(1), (QStringList{"A1", "B2"}));
        QCOMPARE(b.scelta(1), QStringLiteral("B2"));
        QCOMPARE(b.scelta(0), QStringLiteral("Squadra A"));
        QVERIFY(b.messaggi.isEmpty());
    }

    void voci_numeriche() {
        Banco b;
        b.pesi(pesi_con({}, {{"60", "100"}}));
        b.apri();
        b.aggiungi(2, QStringLiteral("40"));
        QCOMPARE(b.voci(2), (QStringList{"40", "60", "100"}));
        QCOMPARE(b.scelta(2), QStringLiteral("40")); // the new entry, not the largest
        QCOMPARE(b.domande, QStringList{QStringLiteral("Nuovo valore:")});

        // Halves to even.
        b.aggiungi(2, QStringLiteral("12.5"));
        b.aggiungi(2, QStringLiteral("13.5"));
        QCOMPARE(b.voci(2), (QStringList{"12", "14", "40", "60", "100"}));
        QCOMPARE(b.scelta(2), QStringLiteral("14"));
        b.aggiungi(2, QStringLiteral("70 kg"));
        QCOMPARE(b.scelta(2), QStringLiteral("70"));

        const QStringList prima = b.voci(2);
        // Nothing positive, or nothing positive once rounded.
        for (const char* no : {"0", "-5", "abc", "0.4"}) b.aggiungi(2, QString::fromUtf8(no));
        QCOMPARE(b.messaggi, QStringList(4, QStringLiteral("Only numeric positve value can be entered!")));
        // A repeat, a cancel or nothing typed adds nothing, and says nothing.
        b.aggiungi(2, QStringLiteral("100"));
        b.aggiungi(2, std::nullopt);
        b.aggiungi(2, QStringLiteral("  "));
        QCOMPARE(b.voci(2), prima);
        QCOMPARE(b.messaggi.size(), 4);
    }

    void voci_e_nomi_rifiutati() {
        Banco b;
        b.apri();
        struct Caso {
            int riga;
            const char* voce;
            const char* nel_messaggio;
        };
        const Caso casi[] = {
            {0, "a/b", "una sola cartella"}, {0, "..", "cartella"},          {0, "Дмитрий", "registrare"},
            {0, "A, B", "virgole"},           {0, "CON", "riservato"},        {0, "x:y", "caratteri"},
            {0, "a\x01" "b", "controllo"},    {1, "Rossi, Mario", "virgole"}, {1, "a\\b", "una sola cartella"},
            {3, "a,b", "virgole"},            {3, "a\"b", "virgole"},         {3, "riga\nnuova", "a capo"},
            {3, "080", "«80»"},
        };
        for (const Caso& c : casi) {
            b.messaggi.clear();
            b.aggiungi(c.riga, QString::fromUtf8(c.voce));
            QVERIFY2(b.voci(c.riga).isEmpty(), c.voce);
            QCOMPARE(b.messaggi.size(), 1);
            QVERIFY2(b.messaggi[0].contains(QString::fromUtf8(c.nel_messaggio)), qPrintable(b.messaggi[0]));
        }
        // Folder names are never read back as numbers, so an athlete may be 007.
        b.messaggi.clear();
        b.aggiungi(1, QStringLiteral("007"));
        b.aggiungi(3, QStringLiteral("Distensione 30°"));
        QCOMPARE(b.voci(1), QStringList{QStringLiteral("007")});
        QCOMPARE(b.voci(3), QStringList{QStringLiteral("Distensione 30°")});
        QVERIFY(b.messaggi.isEmpty());
    }

    void rimozione() {
        Banco b;
        b.pesi(pesi_con({"S1", "S2"}, {{}, {"a", "b", "c"}}));
        QDir().mkpath(b.percorso("S2/Zeno"));
        b.apri();
        b.scegli(3, 1);
        b.f->Cmd_elimina_Click(3);
        QCOMPARE(b.voci(3), (QStringList{"a", "c"}));
        QCOMPARE(b.scelta(3), QStringLiteral("c"));
        // After the last entry, the one before it.
        b.f->Cmd_elimina_Click(3);
        QCOMPARE(b.voci(3), QStringList{"a"});
        QCOMPARE(b.scelta(3), QStringLiteral("a"));
        b.f->txt_utente[3]->setCurrentIndex(-1);
        b.f->Cmd_elimina_Click(3);
        QCOMPARE(b.voci(3), QStringList{"a"});

        // Removing a squad chooses the next, with its athletes.
        b.scegli(0, 0);
        b.f->Cmd_elimina_Click(0);
        QCOMPARE(b.s.squadra, std::string("S2"));
        QCOMPARE(b.voci(1), QStringList{"Zeno"});
        // Nothing is written until OK.
        QCOMPARE(leggi(b.percorso("ini/pesi.ini")), pesi_con({"S1", "S2"}, {{}, {"a", "b", "c"}}));
    }

    void ok_senza_atleta() {
        Banco b;
        b.pesi(pesi_con({"Squadra A"}, {{"80"}}));
        b.apri();
        b.scegli(0, 0);
        b.scegli(2, 0);
        b.f->Cmd_ok_Click();
        QVERIFY(b.messaggi.isEmpty());
        QCOMPARE(b.chiusure, 1);
        QCOMPARE(b.intestazioni, 1);
        QVERIFY(b.grafico.empty()); // no maximum velocity: the scale is left alone
        QCOMPARE(b.s.nome_atleta, std::string());
        QCOMPARE(b.s.carico_kg, 80.0f);
        QCOMPARE(b.s.posizioni[1], -1);
        QCOMPARE(QString::fromStdString(b.s.cartella_atleta), b.percorso("Squadra A"));
        QVERIFY(QFileInfo(b.percorso("Squadra A")).isDir());
        QCOMPARE(leggi(b.percorso("ini/pesi.ini")), pesi_con({"Squadra A"}, {{"80"}}));
        QDirIterator it(b.dati, {QStringLiteral("*.cfg")}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY(!it.hasNext());
        QCOMPARE(memorizzato(QStringLiteral("nome_utente")), QString());
        QCOMPARE(memorizzato(QStringLiteral("squadra")), QStringLiteral("Squadra A"));
        QCOMPARE(memorizzato(QStringLiteral("pos_squadra")), QStringLiteral("0"));
        QCOMPARE(memorizzato(QStringLiteral("pos_utente")), QStringLiteral("-1"));
    }

    void nuova_squadra_e_atleta() {
        Banco b;
        b.apri();
        b.aggiungi(0, QStringLiteral("Under 18"));
        QVERIFY(b.voci(1).isEmpty()); // a new squad has no athletes yet
        b.aggiungi(1, QStringLiteral("Mario Rossi"));
        b.aggiungi(2, QStringLiteral("80"));
        b.aggiungi(4, QStringLiteral("1000"));
        b.aggiungi(5, QStringLiteral("90"));
        b.f->Cmd_ok_Click();
        QVERIFY(b.messaggi.isEmpty());
        QCOMPARE(b.chiusure, 1);
        const QString cartella = b.percorso("Under 18/Mario Rossi");
        QVERIFY(QFileInfo(cartella).isDir());
        QCOMPARE(QString::fromStdString(b.s.cartella_atleta), cartella);
        QCOMPARE(b.s.vel_max, 1000.0f);
        QCOMPARE(b.grafico, (std::vector<ChiamataGrafico>{{0, 2, -1200, 1200}}));
        QCOMPARE(leggi(b.percorso("Under 18/Mario Rossi/Mario Rossi.cfg")),
                 "pesi_cfg\r\n 0 \r\n 0 \r\n 0 \r\n-1 \r\n 0 \r\n 0 \r\n-1 \r\n-1 \r\n-1 \r\n 0 \r\n 0 \r\n" +
                     cartella.toLocal8Bit() + "\r\n");
        QCOMPARE(memorizzato(QStringLiteral("nome_utente")), QStringLiteral("Mario Rossi"));
        QCOMPARE(memorizzato(QStringLiteral("squadra")), QStringLiteral("Under 18"));

        // Opened again, the window finds it all.
        b.apri();
        QCOMPARE(b.scelta(0), QStringLiteral("Under 18"));
        QCOMPARE(b.scelta(1), QStringLiteral("Mario Rossi"));
        QCOMPARE(b.scelta(4), QStringLiteral("1000"));
        QCOMPARE(b.scelta(3), QString());
    }

    void dati_di_un_altro_sistema() {
        Banco b;
        dati_dell_altro_sistema(b);
        b.apri();
        QVERIFY2(b.messaggi.isEmpty(), qPrintable(b.messaggi.join('\n')));
        QCOMPARE(b.voci(0), (QStringList{"Società Sportiva", "Squadra A"}));
        QCOMPARE(b.voci(3), (QStringList{"Distensione 30°", "Squat"}));
        QCOMPARE(b.scelta(1), QStringLiteral("Mario Rossi"));
        QCOMPARE(b.scelta(2), QStringLiteral("100"));
        QCOMPARE(b.scelta(4), QStringLiteral("1000"));
        QCOMPARE(b.scelta(7), QStringLiteral("150"));
        QCOMPARE(b.s.posizioni[9], 7);
        QCOMPARE(b.s.posizioni[10], -3);
        // C:\Programmi\... is not here: the athlete's folder in this data folder is.
        QCOMPARE(QString::fromStdString(b.s.cartella_atleta), b.percorso("Squadra A/Mario Rossi"));

        // Confirmed unchanged, every file is written back as it was.
        b.f->Cmd_ok_Click();
        QVERIFY(b.messaggi.isEmpty());
        QCOMPARE(b.grafico, (std::vector<ChiamataGrafico>{{0, 2, -1200, 1200}}));
        QCOMPARE(leggi(b.percorso("ini/pesi.ini")), leggi(fixture("cartella_dati/ini/pesi.ini")));
        QCOMPARE(leggi(b.percorso("Squadra A/Mario Rossi/Mario Rossi.cfg")),
                 leggi(fixture("cartella_dati/Squadra A/Mario Rossi/Mario Rossi.cfg")));
        QCOMPARE(QString::fromStdString(b.s.cartella_atleta), b.percorso("Squadra A/Mario Rossi"));

        // Choosing another athlete takes that athlete's choices, and the folder here.
        b.apri();
        b.scegli(1, 0);
        QCOMPARE(b.scelta(1), QStringLiteral("Luca Bianchi"));
        QCOMPARE(b.scelta(2), QStringLiteral("60"));
        QCOMPARE(b.scelta(4), QStringLiteral("900"));
        QCOMPARE(QString::fromStdString(b.s.cartella_atleta), b.percorso("Squadra A/Luca Bianchi"));
        // Annulla writes nothing.
        b.aggiungi(3, QStringLiteral("Stacco"));
        b.f->Cmd_annulla_Click();
        QCOMPARE(b.chiusure, 2);
        QCOMPARE(leggi(b.percorso("ini/pesi.ini")), leggi(fixture("cartella_dati/ini/pesi.ini")));
        QCOMPARE(leggi(b.percorso("Squadra A/Luca Bianchi/Luca Bianchi.cfg")),
                 leggi(fixture("cartella_dati/Squadra A/Luca Bianchi/Luca Bianchi.cfg")));
        QCOMPARE(memorizzato(QStringLiteral("nome_utente")), QStringLiteral("Mario Rossi"));
        // Nor does it leave Mario Rossi's trials going to Luca Bianchi's folder.
        QCOMPARE(QString::fromStdString(b.s.cartella_atleta), b.percorso("Squadra A/Mario Rossi"));
        QCOMPARE(b.s.posizioni[9], 7);
    }

    void file_rovinati_non_applicati_data() {
        QTest::addColumn<QString>("cfg");
        QTest::addColumn<QString>("messaggio");
        QTest::newRow("troncato") << "atleta_troncato.cfg" << "Riga 8:";
        QTest::newRow("maiuscolo") << "atleta_maiuscolo.cfg" << "File non compatibile!";
    }
    void file_rovinati_non_applicati() {
        QFETCH(QString, cfg);
        QFETCH(QString, messaggio);
        Banco b;
        b.dati_da(QStringLiteral("cartella_dati"));
        scrivi(b.percorso("Squadra A/Mario Rossi/Mario Rossi.cfg"), leggi(fixture(cfg)));
        memorizza(QStringLiteral("squadra"), QStringLiteral("Squadra A"));
        memorizza(QStringLiteral("nome_utente"), QStringLiteral("Mario Rossi"));
        memorizza(QStringLiteral("pos_squadra"), QStringLiteral("1"));
        memorizza(QStringLiteral("pos_utente"), QStringLiteral("1"));
        b.s.posizioni[2] = 1;
        b.s.posizioni[9] = 5;
        b.apri();
        QCOMPARE(b.messaggi.size(), 1);
        QVERIFY2(b.messaggi[0].contains(messaggio), qPrintable(b.messaggi[0]));
        // Nothing of the file was taken: the positions are those of the store.
        QCOMPARE(b.s.posizioni[2], 1);
        QCOMPARE(b.s.posizioni[9], 5);
        QCOMPARE(b.s.cartella_atleta, std::string());
        QCOMPARE(b.scelta(1), QStringLiteral("Mario Rossi"));
        QCOMPARE(b.scelta(2), QStringLiteral("80"));
        // Nor is it written over: OK keeps it aside, as it was.
        b.f->Cmd_ok_Click();
        QCOMPARE(leggi(b.percorso("Squadra A/Mario Rossi/Mario Rossi danneggiato.cfg")), leggi(fixture(cfg)));
        QVERIFY(leggi(b.percorso("Squadra A/Mario Rossi/Mario Rossi.cfg")).startsWith("pesi_cfg"));
        QCOMPARE(b.messaggi.size(), 2);
    }

    void pesi_rovinato() {
        Banco b;
        b.dati_da(QStringLiteral("cartella_dati"));
        b.pesi(" 8 \r\n 3 \r\nSquadra A\r\n");
        memorizza(QStringLiteral("squadra"), QStringLiteral("Squadra A"));
        b.apri();
        QCOMPARE(b.messaggi.size(), 1);
        QVERIFY2(b.messaggi[0].contains(QStringLiteral("pesi.ini")) && b.messaggi[0].contains(QStringLiteral("Riga 4")),
                 qPrintable(b.messaggi[0]));
        // Whole or nothing: no half list; the rest of the window is built.
        QVERIFY(b.voci(0).isEmpty());
        QCOMPARE(b.voci(1), (QStringList{"Luca Bianchi", "Mario Rossi"}));
        QCOMPARE(b.f->Lbl_utente[7]->text(), QStringLiteral("Ampiezza minima    (mm)"));

        // The lists the window shows are not the coach's: OK keeps the file
        // aside before writing the new one, and says so, once.
        b.aggiungi(0, QStringLiteral("Squadra B"));
        b.f->Cmd_ok_Click();
        QCOMPARE(leggi(b.percorso("ini/pesi danneggiato.ini")), QByteArray(" 8 \r\n 3 \r\nSquadra A\r\n"));
        QVERIFY(leggi(b.percorso("ini/pesi.ini")).contains("Squadra B"));
        QCOMPARE(b.messaggi.size(), 2);
        QVERIFY2(b.messaggi[1].contains(QStringLiteral("pesi danneggiato.ini")), qPrintable(b.messaggi[1]));
        b.apri();
        b.f->Cmd_ok_Click();
        QCOMPARE(b.messaggi.size(), 2);
        QCOMPARE(QDir(b.percorso("ini")).entryList(QDir::Files).size(), 2);
    }

    void posizioni_che_non_nominano_voci() {
        Banco b;
        b.pesi(pesi_con({}, {{"60", "80"}, {"Squat"}, {"900"}}));
        b.apri();
        b.scegli(2, 1);
        b.scegli(3, 0);
        b.scegli(4, 0);
        b.s.posizioni[2] = -5;
        b.s.posizioni[3] = 1;
        b.s.posizioni[4] = -1;
        b.f->Aggiorna_campi(false);
        QCOMPARE(b.indice(2), 1);
        QCOMPARE(b.indice(3), 0);
        QCOMPARE(b.indice(4), -1);
    }

    void salvataggio_fallito_tiene_il_vecchio() {
        Banco b;
        dati_dell_altro_sistema(b);
        b.apri();
        b.aggiungi(3, QStringLiteral("Stacco da terra"));
        b.scegli(2, 0);

        // A disk that takes no more than 64 bytes per file (permissions would
        // not stop a test run as root).
        rlimit prima{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &prima), 0);
        const auto gestore = std::signal(SIGXFSZ, SIG_IGN);
        rlimit stretto = prima;
        stretto.rlim_cur = 64;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &stretto), 0);
        b.f->Cmd_ok_Click();
        setrlimit(RLIMIT_FSIZE, &prima);
        std::signal(SIGXFSZ, gestore);

        QCOMPARE(b.messaggi.size(), 1);
        const QString& m = b.messaggi[0];
        QVERIFY2(m.contains(QStringLiteral("pesi.ini")) && m.contains(QStringLiteral("rimasto com'era")) &&
                     m.contains(QStringLiteral("atleta non è stato scritto")),
                 qPrintable(m));
        QCOMPARE(leggi(b.percorso("ini/pesi.ini")), leggi(fixture("cartella_dati/ini/pesi.ini")));
        QCOMPARE(leggi(b.percorso("Squadra A/Mario Rossi/Mario Rossi.cfg")),
                 leggi(fixture("cartella_dati/Squadra A/Mario Rossi/Mario Rossi.cfg")));
        QCOMPARE(QDir(b.percorso("ini")).entryList(QDir::Files), QStringList{QStringLiteral("pesi.ini")});
        // Still open, with the new entry, to try again.
        QCOMPARE(b.chiusure, 0);
        QVERIFY(b.voci(3).contains(QStringLiteral("Stacco da terra")));
        b.f->Cmd_ok_Click();
        QCOMPARE(b.chiusure, 1);
        QVERIFY(leggi(b.percorso("ini/pesi.ini")).contains("Stacco da terra"));

        // A file in a folder that is not there.
        b.apri();
        b.messaggi.clear();
        QVERIFY(!b.f->Salva_File_Config(b.percorso("manca/x.cfg")));
        QCOMPARE(b.messaggi.size(), 1);
        QVERIFY2(b.messaggi[0].contains(QStringLiteral("x.cfg")) &&
                     b.messaggi[0].contains(QStringLiteral("non è stato scritto")),
                 qPrintable(b.messaggi[0]));
    }

    void chiusura_come_annulla() {
        Banco b;
        b.apri();
        b.aggiungi(0, QStringLiteral("Squadra A"));
        b.f->close();
        QCOMPARE(b.chiusure, 1);
        QVERIFY(!QFileInfo::exists(b.percorso("ini/pesi.ini")));
        QVERIFY(!QFileInfo::exists(b.percorso("Squadra A")));
        QCOMPARE(memorizzato(QStringLiteral("squadra")), QString());
        // Nor is the squad chosen meanwhile kept.
        QCOMPARE(b.s.squadra, std::string());
    }
};

QTEST_MAIN(TestFrmUtente)
#include "test_frm_utente.moc"
