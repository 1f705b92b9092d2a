/* Test scaffolding for scripts/test-windows.sh: a device on a raw pseudo-terminal.
 *
 *   pty_device SLAVE_NAME_FILE DATA LOG [BYTES_PER_SECOND]
 *
 * Writes the slave's path to SLAVE_NAME_FILE, waits until the recorder has created LOG (it
 * does so only after opening and purging the port, so nothing sent is purged away), sends
 * DATA (paced when a rate is given), waits until LOG holds as many bytes as were sent, then
 * closes the master as a pulled cable would. Exits 0 when LOG reached the size in time. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

static const double kDeadlineSeconds = 300;

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static void sleepUntil(double when) {
    const double wait = when - now();
    if (wait <= 0) return;
    struct timespec t = {(time_t)wait, (long)((wait - (time_t)wait) * 1e9)};
    nanosleep(&t, NULL);
}

static long long sizeOf(const char *path) {
    struct stat info;
    return stat(path, &info) == 0 ? (long long)info.st_size : -1;
}

static int fail(const char *what) {
    fprintf(stderr, "pty_device: %s: %s\n", what, strerror(errno));
    return 2;
}

int main(int argc, char **argv) {
    if (argc != 4 && argc != 5) {
        fprintf(stderr, "usage: pty_device SLAVE_NAME_FILE DATA LOG [BYTES_PER_SECOND]\n");
        return 2;
    }
    const char *log = argv[3];
    const double rate = argc == 5 ? atof(argv[4]) : 0;

    FILE *dataFile = fopen(argv[2], "rb");
    if (!dataFile) return fail("cannot open the data");
    fseek(dataFile, 0, SEEK_END);
    const long size = ftell(dataFile);
    rewind(dataFile);
    unsigned char *data = malloc(size ? size : 1);
    if (!data || fread(data, 1, size, dataFile) != (size_t)size) return fail("cannot read the data");
    fclose(dataFile);

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return fail("cannot create a pty");
    struct termios raw;
    if (tcgetattr(master, &raw) != 0) return fail("tcgetattr");
    cfmakeraw(&raw);
    if (tcsetattr(master, TCSANOW, &raw) != 0) return fail("tcsetattr");

    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.new", argv[1]);
    FILE *nameFile = fopen(tmp, "w");
    if (!nameFile || fprintf(nameFile, "%s\n", ptsname(master)) < 0 || fclose(nameFile) != 0 ||
        rename(tmp, argv[1]) != 0)
        return fail("cannot write the slave's name");

    const double deadline = now() + kDeadlineSeconds;
    while (sizeOf(log) < 0) {
        if (now() > deadline) {
            fprintf(stderr, "pty_device: %s never appeared\n", log);
            return 1;
        }
        sleepUntil(now() + 0.01);
    }

    /* Paced: a tenth of a second's worth at a time on a fixed schedule, so the average rate
     * holds however late a wake-up comes. */
    const long chunk = rate > 0 ? (long)(rate / 10) : 65536;
    const double started = now();
    long sent = 0;
    while (sent < size) {
        if (rate > 0) sleepUntil(started + sent / rate);
        long want = size - sent < chunk ? size - sent : chunk;
        const ssize_t written = write(master, data + sent, want);
        if (written < 0) {
            if (errno == EINTR) continue;
            return fail("write");
        }
        sent += written;
    }
    const double sending = now() - started;

    while (sizeOf(log) < size && now() < deadline) sleepUntil(now() + 0.01);
    const long long logged = sizeOf(log);
    fprintf(stderr, "pty_device: sent %ld bytes in %.1f s; the log holds %lld\n", size, sending, logged);
    close(master);
    free(data);
    return logged == size ? 0 : 1;
}
