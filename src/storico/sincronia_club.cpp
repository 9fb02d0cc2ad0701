#include "sincronia_club.h"

#include <QFileInfo>
#include <QTimer>

namespace vexa {

SincroniaClub::SincroniaClub(const QString& cartella_dati, int attesa_ms, int riprova_ms,
                             std::shared_ptr<std::atomic<bool>> fermati)
    : cartella_(cartella_dati), attesa_ms_(attesa_ms), riprova_ms_(riprova_ms), fermati_(std::move(fermati)) {}

SincroniaClub::~SincroniaClub() = default;

void SincroniaClub::imposta(const ConnessioneStorico& server) {
    server_ = server;
    remoto_.reset();
    if (timer_) timer_->stop();
    stato_ = StatoClub{};
    stato_.attivo = server_.server() && !server_.host.isEmpty();
    comunica();
}

void SincroniaClub::termina() {
    if (timer_) timer_->stop();
    remoto_.reset();
    locale_.reset();
}

void SincroniaClub::riprova() {
    if (!timer_) {
        timer_ = new QTimer(this);
        timer_->setSingleShot(true);
        connect(timer_, &QTimer::timeout, this, &SincroniaClub::sincronizza);
    }
    if (!fermati_->load()) timer_->start(riprova_ms_);
}

void SincroniaClub::comunica() {
    if (locale_ && locale_->aperto()) stato_.in_attesa = locale_->quante_da_inviare();
    emit stato(stato_);
}

void SincroniaClub::sincronizza() {
    if (!stato_.attivo || fermati_->load()) return;
    if (timer_) timer_->stop();
    // The station's history is made by its service, from the files, the
    // first time: until then there is nothing to push.
    if (!locale_) locale_ = std::make_unique<Storico>(cartella_, Storico::Opzioni{attesa_ms_});
    if (!locale_->aperto()) {
        if (!QFileInfo::exists(locale_->percorso())) return;
        const EsitoStorico e = locale_->apri();
        if (!e.ok()) {
            stato_.problema = e.messaggio;
            comunica();
            riprova();
            return;
        }
    }
    if (!remoto_) remoto_ = std::make_unique<Storico>(cartella_, server_, Storico::Opzioni{attesa_ms_});
    if (!remoto_->aperto()) {
        const EsitoStorico e = remoto_->apri();
        if (!e.ok()) {
            stato_.problema = e.messaggio;
            qCWarning(lcStorico).noquote() << e.messaggio;
            comunica();
            riprova();
            return;
        }
    }
    stato_.risposta = QDateTime::currentDateTime();
    stato_.problema.clear();
    for (;;) {
        const std::vector<Storico::DaInviare> lotto = locale_->da_inviare(100);
        if (lotto.empty()) break;
        for (const Storico::DaInviare& x : lotto) {
            if (fermati_->load()) return;
            const EsitoImportazione e = remoto_->importa(locale_->assoluto(x.file), x.tipo_scheda, x.squadra);
            if (e.tipo == Importazione::Fallita) {
                // Made again at the next try: after a lost link the old one is useless.
                stato_.problema = e.messaggio;
                remoto_.reset();
                comunica();
                riprova();
                return;
            }
            stato_.risposta = QDateTime::currentDateTime();
            if (e.tipo == Importazione::Aggiunta || e.tipo == Importazione::Aggiornata) ++stato_.inviate;
            // A file gone or unreadable since has nothing more to give the
            // server; the station's next rebuild takes its set out.
            if (!locale_->segna_inviata(x.file, x.impronta)) {
                stato_.problema = locale_->ultimo_errore().messaggio;
                comunica();
                riprova();
                return;
            }
        }
    }
    comunica();
}

} // namespace vexa
