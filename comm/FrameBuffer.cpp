#include "FrameBuffer.h"

#include <algorithm>

namespace Mordal {

FrameBuffer::FrameBuffer(const QByteArray& markers) : markers(markers) {}

void FrameBuffer::SetMarkers(const QByteArray& value) {
    markers = value;
    Clear();
}

void FrameBuffer::Append(const QByteArray& received) {
    if (received.isEmpty())
        return;
    bytes.append(received);
    countNewFrames();
    boundTail();
}

void FrameBuffer::countNewFrames() {
    if (markers.isEmpty())
        return;
    for (qsizetype at = bytes.indexOf(markers, searchFrom); at >= 0;
         at = bytes.indexOf(markers, countedEnd)) {
        ++frames;
        countedEnd = at + markers.size();
    }
    // A marker may still be completed by the next characters.
    searchFrom = std::max(countedEnd, bytes.size() - (markers.size() - 1));
}

void FrameBuffer::boundTail() {
    const qsizetype tail = bytes.size() - std::max(countedEnd, head);
    if (tail <= TailLimit)
        return;
    bytes.remove(bytes.size() - tail, tail - TailLimit);
    searchFrom = std::max(countedEnd, bytes.size() - (markers.size() - 1));
}

qsizetype FrameBuffer::frontEnd() const {
    // Frames were counted without overlap from the start, so the first
    // marker after the taken part ends the first counted frame.
    return bytes.indexOf(markers, head) + markers.size();
}

QByteArray FrameBuffer::Front() const {
    if (frames == 0)
        return {};
    return bytes.mid(head, frontEnd() - head);
}

void FrameBuffer::DropFront() {
    if (frames == 0)
        return;
    head = frontEnd();
    --frames;
    compact();
}

void FrameBuffer::compact() {
    if (head == bytes.size()) {
        Clear();
        return;
    }
    // Moving the rest forward only now and then keeps taking frames cheap.
    if (head < TailLimit || head * 2 < bytes.size())
        return;
    bytes.remove(0, head);
    countedEnd -= head;
    searchFrom -= head;
    head = 0;
}

QByteArray FrameBuffer::TakeAll() {
    QByteArray taken = Peek();
    Clear();
    return taken;
}

void FrameBuffer::Clear() {
    bytes.clear();
    head = countedEnd = searchFrom = 0;
    frames = 0;
}

} // namespace Mordal
