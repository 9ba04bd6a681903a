/* Inflating compressed layer data in memory, and the inflater's messages. */
#include <stdio.h>
#include <string.h>

#include <zlib.h>

#include "tiled_internal.h"

#define CHUNK 16384
/* Input and output are handed to zlib in pieces that fit its 32-bit counts. */
#define MAX_PIECE (1u << 30)
/* Output past what the caller wants is inflated (so that damage there is
 * still reported) up to this much; beyond it the stream is not followed. */
#define MAX_SURPLUS ((size_t)16 << 20)

static unsigned piece(size_t left)
{
    return left > MAX_PIECE ? MAX_PIECE : (unsigned)left;
}

int inf(const unsigned char *source, size_t source_size,
        unsigned char *dest, size_t dest_size, size_t *produced)
{
    z_stream strm;
    unsigned char scratch[CHUNK];
    size_t in_pos = 0;
    size_t out_pos = 0;
    size_t surplus = 0;
    int ret;

    *produced = 0;
    memset(&strm, 0, sizeof strm);
    strm.zalloc = Z_NULL;
    strm.zfree = Z_NULL;
    strm.opaque = Z_NULL;
    strm.avail_in = 0;
    strm.next_in = Z_NULL;
    /* 15 + 32: full window, zlib or gzip header detected automatically. */
    ret = inflateInit2(&strm, 15 + 32);
    if (ret != Z_OK)
        return ret;

    do {
        if (strm.avail_in == 0) {
            if (in_pos == source_size)
                break; /* the stream ends early */
            unsigned n = piece(source_size - in_pos);
            strm.next_in = (Bytef *)(source + in_pos);
            strm.avail_in = n;
            in_pos += n;
        }

        /* Output beyond what the caller wants is inflated all the same, so
         * that a corrupt tail is still noticed. */
        bool into_dest = out_pos < dest_size;
        unsigned room = into_dest ? piece(dest_size - out_pos) : CHUNK;
        strm.next_out = into_dest ? dest + out_pos : scratch;
        strm.avail_out = room;

        unsigned in_before = strm.avail_in;
        ret = inflate(&strm, Z_NO_FLUSH);
        switch (ret) {
        case Z_NEED_DICT:
            ret = Z_DATA_ERROR;
            /* fall through */
        case Z_DATA_ERROR:
        case Z_MEM_ERROR:
        case Z_STREAM_ERROR:
            if (into_dest)
                out_pos += room - strm.avail_out;
            (void)inflateEnd(&strm);
            *produced = out_pos;
            return ret;
        default:
            break;
        }
        unsigned have = room - strm.avail_out;
        if (into_dest)
            out_pos += have;
        else if ((surplus += have) > MAX_SURPLUS && ret != Z_STREAM_END)
            ret = Z_STREAM_END; /* enough: everything wanted is there */
        if (ret == Z_BUF_ERROR && have == 0 && strm.avail_in == in_before && strm.avail_in > 0)
            break; /* no progress possible */
    } while (ret != Z_STREAM_END);

    (void)inflateEnd(&strm);
    *produced = out_pos;
    return ret == Z_STREAM_END ? Z_OK : Z_DATA_ERROR;
}

void zerr(int code)
{
    fputs("zpipe: ", stderr);
    switch (code) {
    case Z_ERRNO:
        if (ferror(stdin))
            fputs("error reading stdin\n", stderr);
        if (ferror(stdout))
            fputs("error writing stdout\n", stderr);
        break;
    case Z_STREAM_ERROR:
        fputs("invalid compression level\n", stderr);
        break;
    case Z_DATA_ERROR:
        fputs("invalid or incomplete deflate data\n", stderr);
        break;
    case Z_MEM_ERROR:
        fputs("out of memory\n", stderr);
        break;
    case Z_VERSION_ERROR:
        fputs("zlib version mismatch!\n", stderr);
        break;
    }
}
