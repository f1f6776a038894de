// The card side of vpcd: a libcacard soft CAC card, removed and inserted on signals.
//
// orvcard-relay NSSDB NICKNAME PORT STATEFILE
//
// Connects to vpcd on 127.0.0.1:PORT (which inserts the card) and answers the
// reader's framed messages: a 2-byte big-endian length, then a payload that is
// either a 1-byte control or an APDU. SIGUSR1 pulls the card (closes the
// socket), SIGUSR2 puts it back (connects again); after each change STATEFILE
// holds "in" or "out". SIGTERM or SIGINT ends the relay, as does vpcd closing
// the connection.
#define _GNU_SOURCE
#include <libcacard.h>

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

enum { kCtrlOff = 0, kCtrlOn = 1, kCtrlReset = 2, kCtrlAtr = 4 };
enum { kMaxMessage = 0xffff };
static const char kReaderName[] = "orv-card";

static unsigned char inBuf[kMaxMessage];
static unsigned char outBuf[kMaxMessage + 2];

static void setState(const char* path, const char* state)
{
    // A reader of the file sees the old state or the new one, never a torn write.
    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.tmp", path);
    FILE* f = fopen(tmp, "w");
    if (f == NULL || fprintf(f, "%s\n", state) < 0 || fclose(f) != 0 || rename(tmp, path) != 0) {
        fprintf(stderr, "relay: cannot write %s: %s\n", path, strerror(errno));
    }
}

static int connectReader(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons((unsigned short)port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, (struct sockaddr*)&addr, sizeof addr) != 0) {
        fprintf(stderr, "relay: cannot connect to vpcd on 127.0.0.1:%d: %s\n", port, strerror(errno));
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Without a quick acknowledgement each APDU waits about 45 ms on a delayed ACK
// meeting Nagle's algorithm; the kernel clears the flag again, so it is set
// before every receive.
static int receiveAll(int fd, unsigned char* buf, size_t len)
{
    size_t got = 0;
    while (got < len) {
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        ssize_t n = recv(fd, buf + got, len - got, 0);
        if (n == 0) {
            return 0;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        got += (size_t)n;
    }
    return 1;
}

static int sendFramed(int fd, unsigned char* frame, size_t payloadLen)
{
    frame[0] = (unsigned char)(payloadLen >> 8);
    frame[1] = (unsigned char)payloadLen;
    size_t len = payloadLen + 2, sent = 0;
    while (sent < len) {
        ssize_t n = send(fd, frame + sent, len - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        sent += (size_t)n;
    }
    return 0;
}

// One message from vpcd. Returns 0 when the connection is over.
static int serveMessage(int fd, VReader* reader)
{
    unsigned char head[2];
    if (receiveAll(fd, head, sizeof head) <= 0) {
        return 0;
    }
    size_t len = ((size_t)head[0] << 8) | head[1];
    if (len == 0 || receiveAll(fd, inBuf, len) <= 0) {
        return 0;
    }
    int ok = 1;
    if (len == 1) {
        int atrLen = (int)sizeof outBuf - 2;
        switch (inBuf[0]) {
        case kCtrlOff:
            vreader_power_off(reader);
            break;
        case kCtrlOn:
            vreader_power_on(reader, outBuf + 2, &atrLen);
            break;
        case kCtrlReset:
            vreader_power_off(reader);
            vreader_power_on(reader, outBuf + 2, &atrLen);
            break;
        case kCtrlAtr:
            vcard_emul_get_atr(NULL, outBuf + 2, &atrLen);
            ok = sendFramed(fd, outBuf, (size_t)atrLen) == 0;
            break;
        default:
            fprintf(stderr, "relay: ignoring unknown control %u\n", inBuf[0]);
        }
    } else {
        int respLen = (int)sizeof outBuf - 2;
        if (vreader_xfr_bytes(reader, inBuf, (int)len, outBuf + 2, &respLen) != VREADER_OK) {
            outBuf[2] = 0x6f; // no precise diagnosis
            outBuf[3] = 0x00;
            respLen = 2;
        }
        ok = sendFramed(fd, outBuf, (size_t)respLen) == 0;
        // APDUs carry the PIN in, and decrypted keys out.
        explicit_bzero(outBuf, (size_t)respLen + 2);
    }
    explicit_bzero(inBuf, len);
    return ok;
}

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: %s NSSDB NICKNAME PORT STATEFILE\n", argv[0]);
        return 2;
    }
    const char* db = argv[1];
    const char* nickname = argv[2];
    int port = atoi(argv[3]);
    const char* statePath = argv[4];
    if (port <= 0 || port > 65535) {
        fprintf(stderr, "relay: bad port %s\n", argv[3]);
        return 2;
    }

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGUSR1);
    sigaddset(&signals, SIGUSR2);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigprocmask(SIG_BLOCK, &signals, NULL);
    int sigFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (sigFd < 0) {
        perror("relay: signalfd");
        return 1;
    }

    char options[8192];
    int n = snprintf(options, sizeof options, "db=\"sql:%s\" use_hw=no soft=(,%s,CAC,,%s)", db, kReaderName, nickname);
    if (n < 0 || (size_t)n >= sizeof options) {
        fprintf(stderr, "relay: arguments too long\n");
        return 2;
    }
    VCardEmulOptions* emulOptions = vcard_emul_options(options);
    if (emulOptions == NULL || vcard_emul_init(emulOptions) != VCARD_EMUL_OK) {
        fprintf(stderr, "relay: libcacard could not start on %s with certificate '%s'\n", db, nickname);
        return 1;
    }
    // Nothing reads the emulator's events; drop the start-up ones.
    VEvent* event;
    while ((event = vevent_get_next_vevent()) != NULL) {
        vevent_delete(event);
    }
    VReader* reader = vreader_get_reader_by_name(kReaderName);
    if (reader == NULL || vreader_card_is_present(reader) != VREADER_OK) {
        fprintf(stderr, "relay: the soft reader has no card (is '%s' in %s?)\n", nickname, db);
        return 1;
    }

    int sock = connectReader(port);
    if (sock < 0) {
        return 1;
    }
    setState(statePath, "in");
    int status = 0;
    for (;;) {
        struct pollfd fds[2] = {{sigFd, POLLIN, 0}, {sock, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            perror("relay: poll");
            status = 1;
            break;
        }
        if (fds[0].revents & POLLIN) {
            struct signalfd_siginfo info;
            if (read(sigFd, &info, sizeof info) != (ssize_t)sizeof info) {
                continue;
            }
            if (info.ssi_signo == SIGUSR1) {
                if (sock >= 0) {
                    close(sock);
                    sock = -1;
                    vreader_power_off(reader);
                }
                setState(statePath, "out");
            } else if (info.ssi_signo == SIGUSR2) {
                if (sock < 0) {
                    sock = connectReader(port);
                }
                setState(statePath, sock >= 0 ? "in" : "out");
            } else {
                break;
            }
            continue;
        }
        if (sock >= 0 && fds[1].revents != 0 && !serveMessage(sock, reader)) {
            fprintf(stderr, "relay: vpcd closed the connection\n");
            close(sock);
            sock = -1;
            setState(statePath, "out");
            break;
        }
    }
    if (sock >= 0) {
        close(sock);
    }
    vreader_free(reader);
    vcard_emul_finalize();
    return status;
}
