// The thread that compresses and writes a session file.
#include "session/file_thread.h"

#include <cerrno>
#include <cstring>

#include <pthread.h>
#include <zlib.h>

namespace {

gzFile as_gz(void *file) { return static_cast<gzFile>(file); }

}  // namespace

void FileThread::start(void *gz_file, FileExpander expander, void *context) {
    stop();
    file_ = gz_file;
    expander_ = expander;
    expander_context_ = context;
    if (expander_ != nullptr && !expanded_) expanded_.reset(new char[FILE_THREAD_BUFFER_BYTES]);
    for (std::unique_ptr<char[]> &buffer : buffers_) {
        if (!buffer) buffer.reset(new char[FILE_THREAD_BUFFER_BYTES]);
    }
    filling_ = 0;
    job_ = Job{};
    stopping_ = false;
    failed_ = false;
    reason_.clear();
    file_bytes_ = 0;
    // No thread (a process at its limit): every hand-over writes itself.
    pthread_t *thread = new pthread_t;
    threaded_ = pthread_create(thread, nullptr, run, this) == 0;
    if (threaded_) {
        thread_ = thread;
    } else {
        delete thread;
    }
}

void FileThread::stop() {
    if (threaded_) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        pthread_t *thread = static_cast<pthread_t *>(thread_);
        pthread_join(*thread, nullptr);
        delete thread;
        thread_ = nullptr;
        threaded_ = false;
    }
    file_ = nullptr;
}

void *FileThread::run(void *self) {
    static_cast<FileThread *>(self)->work();
    return nullptr;
}

void FileThread::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return job_.data != nullptr || stopping_; });
        if (job_.data == nullptr) return;  // stopping, and everything written
        const Job job = job_;
        const bool skip = failed_;
        lock.unlock();
        const bool ok = skip || write_job(job);
        lock.lock();
        if (!ok) failed_ = true;
        job_ = Job{};
        changed_.notify_all();
    }
}

// Writes bytes into the file, through the expander when there is one.
bool FileThread::write_bytes(const char *data, size_t used) {
    if (expander_ == nullptr) return used == 0 || gzwrite(as_gz(file_), data, unsigned(used)) == int(used);
    while (used > 0) {
        size_t taken = 0;
        const size_t n = expander_(expander_context_, data, used, &taken, expanded_.get(), FILE_THREAD_BUFFER_BYTES);
        if (n > 0 && gzwrite(as_gz(file_), expanded_.get(), unsigned(n)) != int(n)) return false;
        if (taken == 0 || taken > used) return false;  // an expander that cannot go on
        data += taken;
        used -= taken;
    }
    return true;
}

bool FileThread::write_job(const Job &job) {
    errno = 0;
    int code = Z_OK;
    if (!write_bytes(job.data, job.used)) {
        code = Z_ERRNO;
    } else if (job.flush) {
        code = gzflush(as_gz(file_), Z_SYNC_FLUSH);
    }
    if (code != Z_OK) {
        const int saved_errno = errno;
        int gz_code = Z_OK;
        const char *message = gzerror(as_gz(file_), &gz_code);
        std::string reason =
            gz_code == Z_ERRNO || gz_code == Z_OK ? strerror(saved_errno != 0 ? saved_errno : EIO) : message;
        std::lock_guard<std::mutex> lock(mutex_);
        reason_ = reason;
        return false;
    }
    if (job.flush) {
        const z_off_t offset = gzoffset(as_gz(file_));
        if (offset >= 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            file_bytes_ = uint64_t(offset);
        }
    }
    return true;
}

bool FileThread::hand_over(size_t used, bool flush) {
    const Job job{buffers_[filling_].get(), used, flush};
    filling_ = 1 - filling_;
    if (!threaded_) {
        if (failed_) return false;
        if (!write_job(job)) failed_ = true;
        return !failed_;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    // The buffer handed over before is the one to fill next.
    changed_.wait(lock, [this] { return job_.data == nullptr; });
    if (failed_) return false;
    job_ = job;
    changed_.notify_all();
    if (flush) changed_.wait(lock, [this] { return job_.data == nullptr; });
    return !failed_;
}

bool FileThread::failed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

std::string FileThread::reason() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reason_;
}

uint64_t FileThread::file_bytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return file_bytes_;
}
