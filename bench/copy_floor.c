/* The floor under rewriting small files in place: for each file named, copy it
 * into a new file beside it, flush that to disk, rename it over the file and
 * flush the folder. No filtering, no checks beyond the calls' results: what
 * any safe in-place rewrite must at least do.
 *
 *   copy_floor FILE...
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char buffer[1 << 18];

static int fail(const char* what, const char* name) {
    perror(name);
    fprintf(stderr, "copy_floor: %s failed\n", what);
    return 1;
}

static int rewrite(const char* name) {
    char copy[4096], scratch[4096 + 16];
    if (strlen(name) >= sizeof copy) return fail("name length", name);
    strcpy(copy, name);
    const char* folder = dirname(copy);
    snprintf(scratch, sizeof scratch, "%s/.copy_floor.tmp", folder);

    const int in = open(name, O_RDONLY | O_CLOEXEC);
    if (in < 0) return fail("open", name);
    const int out = open(scratch, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) return fail("create", scratch);
    for (;;) {
        const ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0) return fail("read", name);
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buffer + done, (size_t)(n - done));
            if (w < 0) return fail("write", scratch);
            done += w;
        }
    }
    close(in);
    if (fsync(out) != 0) return fail("fsync", scratch);
    if (close(out) != 0) return fail("close", scratch);
    if (rename(scratch, name) != 0) return fail("rename", name);
    const int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return fail("open", folder);
    if (fsync(dir) != 0) return fail("fsync", folder);
    close(dir);
    return 0;
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (rewrite(argv[i]) != 0) return 1;
    }
    return 0;
}
