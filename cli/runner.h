#pragma once

#include "options.h"
#include "progress.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QSemaphore>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <deque>
#include <map>
#include <optional>

class QThread;

namespace velmora::cli {

// What became of one input.
struct Outcome
{
    ExitStatus status = RequestFailed;
    QString url;   // the audio address, for Resolved
    QString name;  // the track name, where the answer has one
    QString error; // why there is no audio address
    QString file;  // with --output: where it was saved (or found)
    qint64 bytes = -1;
    bool skipped = false; // the file was there already
};

// Resolves inputs (and with --output saves them) with at most `jobs` in
// flight and prints each result as soon as every earlier one is printed, so
// that the output keeps the input order whatever order the answers come in.
class Runner : public QObject
{
    Q_OBJECT
public:
    Runner(const Options &options, std::FILE *out, std::FILE *err, QObject *parent = nullptr);
    ~Runner() override;

    // Takes the sources in order: an address as it stands, "-" as the lines
    // of standard input (read as UTF-8 on a thread of its own, so that
    // requests start while it is still being read). An input longer than
    // kMaxInputBytes is refused. Call once.
    void start(const QStringList &sources);

signals:
    // Everything is printed; `status` is the highest of all inputs.
    void finished(int status);

private:
    struct Item
    {
        QString input;
        QString trackId; // empty when the input holds no usable one
        std::optional<Outcome> outcome;
        bool fromStandardInput = false;
    };

    void takeSources();
    void readStandardInput();
    void add(const QString &input, bool fromStandardInput = false, bool tooLong = false);
    void launch();
    void settle(qsizetype index, const Outcome &outcome);
    void save(qsizetype index, const Outcome &resolved);
    void showProgress();
    void flush();
    void print(const Item &item);
    void finishWhenDone();

    Options m_options;
    std::FILE *m_out;
    std::FILE *m_err;
    QNetworkAccessManager m_manager;
    QStringList m_sources;
    qsizetype m_nextSource = 0;
    QThread *m_reader = nullptr;
    // Lines read but not printed yet: the reader waits for room, so that
    // memory stays flat however long standard input is.
    QSemaphore m_room;
    bool m_inputEnded = false;
    bool m_finished = false;

    // Items not printed yet; the front one has the index m_printed.
    std::deque<Item> m_items;
    qsizetype m_printed = 0;
    qsizetype m_nextToStart = 0; // index
    int m_inFlight = 0;

    ProgressLine m_progress;
    struct Figures
    {
        qint64 saved = 0;
        qint64 total = -1;
        qint64 received = 0;
    };
    std::map<const QObject *, Figures> m_saving; // the saves in flight, by AudioSave
    qint64 m_received = 0;                       // by every save of the run so far
    int m_status = Resolved;
};

} // namespace velmora::cli
