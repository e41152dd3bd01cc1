#pragma once

#include "EventWait.h"
#include "Mordal.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

// A Comm control wired to a pseudo-terminal published as COM1, with every
// event it raises recorded in order.
class CommFixture : public ::testing::Test {
protected:
    struct Frame {
        QByteArray data;
        int framesCount;
        int bufferCount;
    };
    struct Error {
        int number;
        QString description;
        Mordal::enCommSource source;
    };

    CommFixture() {
        pty.Publish(1);
        QObject::connect(&comm, &Mordal::Comm::OnComm,
                         [this](const QByteArray& data, int count, int buffer, bool& clear) {
                             frames.push_back({data, count, buffer});
                             events.push_back("frame");
                             if (onFrame)
                                 onFrame(clear);
                         });
        QObject::connect(&comm, &Mordal::Comm::ErrorComm,
                         [this](int number, const QString& text, Mordal::enCommSource source) {
                             errors.push_back({number, text, source});
                             events.push_back("error");
                         });
        QObject::connect(&comm, &Mordal::Comm::CommIsOpen, [this](bool state) {
            states.push_back(state);
            events.push_back(state ? "open" : "closed");
        });
        QObject::connect(&comm, &Mordal::Comm::TimeOut, [this](int ms, int count) {
            timeOuts.push_back({ms, count});
            events.push_back("timeout");
        });
        QObject::connect(&comm, &Mordal::Comm::IncorrectFrames, [this] { ++incorrectFrames; });
    }

    void OpenSerial(int port = 1, int baud = 9600) {
        comm.SetCommSource(int(Mordal::enCommSource::Serial));
        comm.SetSerialPort(static_cast<int16_t>(port));
        comm.SetSerialBaudRate(baud);
        comm.SetCommOpen(true);
    }

    bool WaitForFrames(size_t count, int timeoutMs = 2000) {
        return WaitUntil([&] { return frames.size() >= count; }, timeoutMs);
    }

    PtyPair pty;
    Mordal::Comm comm;
    std::vector<Frame> frames;
    std::vector<Error> errors;
    std::vector<bool> states;
    std::vector<std::pair<int, int>> timeOuts;
    std::vector<std::string> events;
    int incorrectFrames = 0;
    std::function<void(bool& clearFrameData)> onFrame;
};
