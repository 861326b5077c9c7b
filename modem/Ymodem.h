#pragma once

// The YMODEM sender of the serial library: sends one file over an open port to a YMODEM
// receiver (the registration server; lrzsz's rb in the tests) and ends the batch.

#include <cstdint>
#include <string>
#include <string_view>

class GFSerial;

// Watches a transfer. The program passes none: the status window says what is going on.
class GFMonitor
{
public:
    virtual ~GFMonitor() = default;
    // After each block the receiver accepted: the bytes of the file sent so far, of total.
    virtual void Progress(long sent, long total) = 0;
};

class GFYmodem
{
public:
    // Results of Send().
    static constexpr int transferred = 0;
    static constexpr int fileReadError = -903;
    static constexpr int tooManyRetries = -907;   // one block, or the start, never answered
    static constexpr int tooManyErrors = -908;    // the whole transfer used up its error budget
    static constexpr int remoteCancelled = -914;  // the receiver sent CAN CAN
    static constexpr int engineNotCreated = -927; // no open port to send over
    static constexpr int protocolError = -928;    // the receiver does not speak YMODEM
    static constexpr int generalError = -931;     // the line failed (the device went away)
    static constexpr int sentNoFiles = -932;      // no file was named

    // How long the sender waits, and how often it tries. The defaults are the protocol's
    // customary values; tests that want a silent receiver to fail fast shorten them.
    struct Timing
    {
        std::uint32_t startMs = 60000; // for the receiver's first request
        std::uint32_t replyMs = 10000; // for the answer to one block
        int retries = 10;              // sends of one block before giving up
        int errorBudget = 100;         // repeats in the whole transfer before giving up
    };
    // The timing of every sender made from now on.
    static Timing& defaultTiming();

    // serial: an open port; monitor: may be null.
    GFYmodem(GFSerial* serial, GFMonitor* monitor);
    GFYmodem(const GFYmodem&) = delete;
    GFYmodem& operator=(const GFYmodem&) = delete;

    // Sends the file at path, named by its last path component, and ends the batch. Returns
    // transferred or one of the negative results above.
    int Send(const char* path);

    void SetTiming(const Timing& timing) { m_timing = timing; }
    // Blocks sent again after a NAK or a silence, in the last Send().
    int Repeats() const { return m_errors; }

private:
    enum class Reply
    {
        Ack,
        Nak,
        Request, // "C": send (again) with CRC-16
        Cancel,
        Timeout,
        LineFailed,
    };

    int awaitStart();
    int transmit(const std::string& frame, int forgivenNaks = 0);
    int sendHeader(const std::string& frame);
    void endBatch();
    Reply awaitReply(std::uint32_t timeoutMs);
    int nextByte(std::uint32_t timeoutMs);
    bool fill(std::uint32_t timeoutMs);
    bool sendBytes(std::string_view bytes, std::uint32_t timeoutMs);
    bool discardStale();
    int fail(int status);

    GFSerial* m_serial;
    GFMonitor* m_monitor;
    Timing m_timing;
    int m_errors = 0;
    bool m_lineFailed = false;
    std::string m_input; // received and not yet looked at, from m_inputPos on
    std::size_t m_inputPos = 0;
};
