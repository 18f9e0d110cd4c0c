#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

namespace corvanel {

class ReadableText;

// What screen readers hear of the receive box: every change to its text, and
// every move of its caret and selection, as an accessibility event of its
// own class. An event carries at most AccessibleEventCap characters, and its
// text really stands at its position: an append carries its newest
// characters, a removal or a replacement its first ones. The reader asks for
// the rest if it wants it.
//
// Arrivals are announced as whole rows: while data keeps coming, the newest
// whole row at most once in AnnounceMs, since a reader speaks each
// announcement and one per frame of a stream would leave it minutes behind;
// once arrivals pause for AnnounceQuietMs, the rows still unannounced, the
// newest whole one with what follows it, so that a device's answer is heard
// whole. Nothing is sent while no screen reader listens.
class ReceiveAnnouncer
{
public:
    static constexpr qint64 AccessibleEventCap = 4096;
    static constexpr int AnnounceMs = 1000;
    static constexpr int AnnounceQuietMs = 300;

    // Events name `target` (the box) and read `text`; both outlive the announcer.
    ReceiveAnnouncer(QObject *target, const ReadableText &text);

    // The text grew at its end, from `from` on; heard of at the next arrivals().
    void appended(qint64 from);
    // Announces the arrivals due. Settled: the arrivals have paused, or an
    // edit follows, so the newest unannounced rows go out now.
    void arrivals(bool settled = false);
    // The text an edit is about to remove from pos, as its event will carry it.
    QString aboutToRemove(qint64 pos, qint64 length) const;
    // At pos, `removed` went out and `inserted` characters came in.
    void edited(qint64 pos, const QString &removed, qint64 inserted);
    // The caret and the selection were (oldAnchor, oldCursor).
    void caretMoved(qint64 oldAnchor, qint64 oldCursor);

private:
    int offset(qint64 pos) const;

    QObject *m_target;
    const ReadableText &m_text;
    qint64 m_unannouncedFrom = -1; // appended and not yet announced
    QTimer m_quiet; // runs out when arrivals pause
    QElapsedTimer m_lastAnnounced; // since arrivals were last announced
};

} // namespace corvanel
