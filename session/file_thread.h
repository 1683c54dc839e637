// A zlib file (gzip-compressed, or a plain file passed through) written by
// a thread of its own: the caller fills one buffer while the thread
// compresses and writes the other, so that compression costs the caller's
// thread nothing but the hand-over of a full buffer.
//
//   FileThread thread;
//   thread.start(file);                  // takes the gzFile over
//   fill thread.buffer() with up to FILE_THREAD_BUFFER_BYTES bytes
//   thread.hand_over(used, flush)        // then fill the new thread.buffer()
//   thread.stop(); gzclose(file)         // once stopped, the file is the caller's again
//
// The caller may leave part of the work to the thread: with an expander,
// each buffer handed over is expanded (on the thread) into the bytes the
// file gets, piece by piece through a buffer of the thread's own.
//
// A flush waits until everything handed over so far is in the file, flushed
// to a point from which it can be read, so that the caller knows what the
// file holds. When no thread can be started, every hand-over writes in the
// caller's thread: the same file, only the cost moves.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

constexpr size_t FILE_THREAD_BUFFER_BYTES = 1 << 16;

// Expands the handed-over bytes from `in` into at most `room` bytes at out;
// returns how many it wrote, and in `taken` how many of in it consumed
// (at least one whenever room allows the first piece).
using FileExpander = size_t (*)(void *context, const char *in, size_t length, size_t *taken, char *out,
                                size_t room);

class FileThread {
public:
    FileThread() = default;
    ~FileThread() { stop(); }
    FileThread(const FileThread &) = delete;
    FileThread &operator=(const FileThread &) = delete;

    // Takes the open gzFile (opaque here) until stop(). expander: null
    // writes the bytes as handed over.
    void start(void *gz_file, FileExpander expander = nullptr, void *context = nullptr);
    // Waits for what was handed over and ends the thread; the file is the
    // caller's again (not closed).
    void stop();

    // The buffer to fill: FILE_THREAD_BUFFER_BYTES bytes.
    char *buffer() { return buffers_[filling_].get(); }
    // Hands the first `used` bytes of buffer() to the file; buffer() is then
    // the other buffer. Waits while the thread still writes the one handed
    // over before. With flush, also flushes the file and waits until done.
    // False once a write has failed (reason() says why; nothing handed over
    // after that reaches the file).
    bool hand_over(size_t used, bool flush);

    bool failed();
    // The system's or zlib's words for the failure.
    std::string reason();
    // Bytes in the file as of the last flush.
    uint64_t file_bytes();

private:
    struct Job {
        const char *data = nullptr;  // null: no job
        size_t used = 0;
        bool flush = false;
    };
    static void *run(void *self);
    void work();
    bool write_bytes(const char *data, size_t used);
    // Writes one job into the file; false with reason_ set on a failure.
    bool write_job(const Job &job);

    void *file_ = nullptr;
    FileExpander expander_ = nullptr;
    void *expander_context_ = nullptr;
    std::unique_ptr<char[]> buffers_[2];
    std::unique_ptr<char[]> expanded_;  // the expander's output, the thread's alone
    int filling_ = 0;
    bool threaded_ = false;
    void *thread_ = nullptr;  // the platform's thread handle, heap-held

    std::mutex mutex_;
    std::condition_variable changed_;
    Job job_;             // the buffer the thread holds
    bool stopping_ = false;
    bool failed_ = false;
    std::string reason_;
    uint64_t file_bytes_ = 0;
};
