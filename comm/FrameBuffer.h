#pragma once

#include <QByteArray>

namespace Mordal {

// The characters received on a link and the complete frames among them.
// Frames are counted as they arrive and taken from the front, so a backlog of
// many thousand frames costs no more per frame than a single one. Only the
// characters after the last end marker (which can never become part of a
// frame already complete) are bounded: a complete frame is never dropped or
// shortened.
class FrameBuffer {
public:
    // A stream that never brings an end marker keeps only this many of its
    // newest characters.
    static constexpr qsizetype TailLimit = 64 * 1024;

    explicit FrameBuffer(const QByteArray& markers = QByteArrayLiteral("\r\n"));

    // New markers count frames afresh: the buffer is emptied.
    void SetMarkers(const QByteArray& markers);
    const QByteArray& Markers() const { return markers; }

    void Append(const QByteArray& received);

    // Characters waiting, frames and the unfinished rest together.
    qsizetype Size() const { return bytes.size() - head; }
    // Complete frames waiting; none while fewer than 3 characters wait, so a
    // lone marker is handed over only once something follows it.
    int CompleteFrames() const { return Size() < 3 ? 0 : frames; }
    // The first complete frame with its end markers; empty when there is none.
    QByteArray Front() const;
    void DropFront();

    QByteArray Peek() const { return bytes.mid(head); }
    QByteArray TakeAll();
    void Clear();

private:
    qsizetype frontEnd() const;
    void countNewFrames();
    void boundTail();
    void compact();

    QByteArray markers;
    QByteArray bytes;
    qsizetype head = 0;       // characters before it were taken
    qsizetype countedEnd = 0; // just after the last marker counted
    qsizetype searchFrom = 0; // no marker starts between countedEnd and here
    int frames = 0;           // complete frames between head and countedEnd
};

} // namespace Mordal
