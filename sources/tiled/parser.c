/* Reading a TMX file into the map records. */
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libxml/parser.h>
#include <zlib.h>

#include "tiled_internal.h"

/* 0: map folders are relative to the resources folder; 1: to the working
 * directory. */
static int resources_rel_to = 0;

/* The most cells a tile layer may have (8192 x 8192): far beyond any real
 * map, and it keeps a few bytes of TMX from asking for gigabytes. */
#define MAX_LAYER_CELLS ((long long)1 << 26)

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif

/* A map or a tileset image is read only from a regular file: a named pipe
 * would wait for a writer for ever (the open does not) and a device may never
 * end, so either counts as missing. The descriptor, or -1. */
static int open_regular_file(const char *path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

static bool is_regular_file(const char *path)
{
    int fd = open_regular_file(path);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

void al_find_resources_as(int mode)
{
    resources_rel_to = mode;
}

static const char *or_null(const char *text)
{
    return text ? text : "(null)";
}

static char *copy_attribute(xmlNode *node, const char *name)
{
    return g_strdup(get_xml_attribute(node, name));
}

/* "visible": hidden exactly when the number read is 0. */
static bool read_visible(xmlNode *node)
{
    const char *text = get_xml_attribute(node, "visible");
    return !text || tiled_read_int(text, 1) != 0;
}

/* "opacity": 1 when absent; kept within 0 to 1. */
static float read_opacity(xmlNode *node)
{
    const char *text = get_xml_attribute(node, "opacity");
    if (!text)
        return 1.0f;
    double value = strtod(text, NULL);
    if (isnan(value) || value > 1.0)
        return 1.0f;
    if (value < 0.0)
        return 0.0f;
    return (float)value;
}

GHashTable *parse_properties(xmlNode *node)
{
    GHashTable *table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    xmlNode *properties = get_first_child_for_name(node, "properties");
    if (!properties)
        return table;
    /* Later insertions replace earlier ones; walking backwards lets the first
     * of two properties with the same name win. */
    GSList *list = get_children_for_name(properties, "property");
    for (GSList *l = list; l; l = l->next) {
        xmlNode *property = l->data;
        const char *name = get_xml_attribute(property, "name");
        if (!name)
            continue;
        const char *value = get_xml_attribute(property, "value");
        char *copy;
        if (value) {
            copy = g_strdup(value);
        } else {
            xmlChar *content = xmlNodeGetContent(property);
            copy = g_strdup(content ? (const char *)content : "");
            xmlFree(content);
        }
        g_hash_table_insert(table, g_strdup(name), copy);
    }
    g_slist_free(list);
    return table;
}

void cache_tile_list(ALLEGRO_MAP *map)
{
    if (map->tiles)
        g_hash_table_unref(map->tiles);
    map->tiles = g_hash_table_new(g_direct_hash, g_direct_equal);
    for (GSList *t = map->tilesets; t; t = t->next) {
        ALLEGRO_MAP_TILESET *tileset = t->data;
        for (GSList *l = tileset->tiles; l; l = l->next) {
            ALLEGRO_MAP_TILE *tile = l->data;
            g_hash_table_insert(map->tiles, GINT_TO_POINTER(tile->id), tile);
        }
    }
}

/* ---- layer data -------------------------------------------------------- */

static bool has_text(const char *text)
{
    if (!text)
        return false;
    for (; *text; text++) {
        if (!g_ascii_isspace(*text))
            return true;
    }
    return false;
}

/* The gid at the start of a csv piece. A plain run of up to ten digits, what
 * nearly every cell holds, is read here; anything else (white space, a sign,
 * more digits) goes to tiled_read_gid, which gives the same result for both. */
static uint32_t read_csv_gid(const char *p, const char **end)
{
    const char *q = p;
    uint64_t value = 0;
    while (q - p < 10 && *q >= '0' && *q <= '9')
        value = value * 10 + (uint64_t)(*q++ - '0');
    if (q == p || (*q >= '0' && *q <= '9'))
        return tiled_read_gid(p, end);
    *end = q;
    return value > 0xFFFFFFFFu ? 0 : (uint32_t)value;
}

/* Comma-separated gids, one pass; empty pieces are skipped. Returns the
 * number of cells written. */
static size_t decode_csv(const char *text, uint32_t *cells, size_t count)
{
    const char *p = text;
    size_t i = 0;
    while (g_ascii_isspace(*p))
        p++;
    while (*p && i < count) {
        if (*p == ',') {
            p++;
            continue;
        }
        const char *end;
        cells[i++] = read_csv_gid(p, &end);
        p = end;
        while (*p && *p != ',')
            p++;
    }
    return i;
}

static size_t decode_xml_tiles(xmlNode *data, uint32_t *cells, size_t count)
{
    size_t i = 0;
    for (xmlNode *child = data->children; child && i < count; child = child->next) {
        if (!is_element(child, "tile"))
            continue;
        const char *gid = get_xml_attribute(child, "gid");
        cells[i++] = gid ? tiled_read_gid(gid, NULL) : 0;
    }
    return i;
}

/* The cells were filled with their bytes in file order: little-endian. */
static void cells_from_little_endian(uint32_t *cells, size_t count)
{
#if G_BYTE_ORDER == G_BIG_ENDIAN
    for (size_t i = 0; i < count; i++)
        cells[i] = GUINT32_FROM_LE(cells[i]);
#else
    (void)cells;
    (void)count;
#endif
}

/* Decodes base64 text into `out`, which has room for `room` bytes; whatever
 * decodes past that is not wanted. Returns the number of bytes stored. */
static size_t decode_base64_into(const char *text, unsigned char *out, size_t room)
{
    gint state = 0;
    guint save = 0;
    size_t left = strlen(text);
    size_t stored = 0;
    while (left > 0 && stored < room) {
        /* One step stores at most 3 bytes per 4 characters, plus 3. */
        size_t fits = room - stored >= 6 ? (room - stored - 3) / 3 * 4 : 0;
        if (fits > 0) {
            size_t n = fits < left ? fits : left;
            stored += g_base64_decode_step(text, n, out + stored, &state, &save);
            text += n;
            left -= n;
        } else {
            /* The last few bytes: through a buffer, keeping what fits. */
            unsigned char scratch[3 * 64 + 3];
            size_t n = left < 256 ? left : 256;
            size_t got = g_base64_decode_step(text, n, scratch, &state, &save);
            size_t take = got < room - stored ? got : room - stored;
            memcpy(out + stored, scratch, take);
            stored += take;
            text += n;
            left -= n;
        }
    }
    return stored;
}

/* Base64 text whose bytes are inflated into the cells. */
static size_t decode_compressed(const char *text, uint32_t *cells, size_t count)
{
    size_t length = strlen(text);
    gint state = 0;
    guint save = 0;
    guchar *bytes = g_malloc(length / 4 * 3 + 3);
    size_t size = g_base64_decode_step(text, length, bytes, &state, &save);
    size_t produced = 0;
    /* An empty layer has no cells: the stream is still checked. */
    int ret = inf(bytes, size, (unsigned char *)cells, count * 4, &produced);
    if (ret != Z_OK)
        zerr(ret);
    g_free(bytes);
    return produced / 4;
}

static size_t decode_base64(xmlNode *data, const char *text, uint32_t *cells, size_t count)
{
    const char *compression = get_xml_attribute(data, "compression");
    if (compression && strcmp(compression, "zlib") != 0 && strcmp(compression, "gzip") != 0) {
        fprintf(stderr, "Error: unknown compression format '%s'\n", compression);
        return 0;
    }
    if (!has_text(text))
        return 0;
    /* Decoded or inflated straight into the cells; bytes of a cell cut short
     * are left for the caller to clear. */
    size_t written;
    if (!compression)
        written = decode_base64_into(text, (unsigned char *)cells, count * 4) / 4;
    else
        written = decode_compressed(text, cells, count);
    cells_from_little_endian(cells, written);
    return written;
}

/* Fills the leading cells from the "data" element by its coding; returns
 * how many. */
static size_t decode_cells(xmlNode *data, uint32_t *cells, size_t count)
{
    /* The text of the data element (csv and base64). */
    const char *text = NULL;
    xmlNode *first = data->children;
    if (first && (first->type == XML_TEXT_NODE || first->type == XML_CDATA_SECTION_NODE))
        text = (const char *)first->content;

    const char *encoding = get_xml_attribute(data, "encoding");
    if (!encoding)
        return decode_xml_tiles(data, cells, count);
    if (strcmp(encoding, "csv") == 0)
        return text ? decode_csv(text, cells, count) : 0;
    if (strcmp(encoding, "base64") == 0)
        return decode_base64(data, text, cells, count);
    fprintf(stderr, "Error: unknown encoding format '%s'\n", encoding);
    return 0;
}

bool decode_layer_data(xmlNode *data, ALLEGRO_MAP_LAYER *layer, size_t *written)
{
    size_t count = (size_t)layer->width * (size_t)layer->height;
    size_t unused;
    if (!written)
        written = &unused;
    *written = 0;
    layer->data = NULL;
    /* Not zeroed here: the decoders fill the leading cells, and only the
     * cells after them are cleared. */
    if (count > 0) {
        layer->data = al_malloc(count * sizeof *layer->data);
        if (!layer->data)
            return false;
    }
    if (data)
        *written = decode_cells(data, layer->data, count);
    if (count > *written)
        memset(layer->data + *written, 0, (count - *written) * sizeof *layer->data);
    return true;
}

/* ---- tilesets and tiles -------------------------------------------------- */

/* How many tiles fit in a row of the tileset image; 0 when the tileset
 * cannot be cut into tiles. */
static int tileset_columns(const ALLEGRO_MAP_TILESET *tileset)
{
    if (tileset->tilewidth <= 0 || tileset->tileheight <= 0)
        return 0;
    return tileset->width / tileset->tilewidth;
}

/* Cuts the tile's bitmap out of its tileset image, once. A tile whose cell
 * lies outside the image gets none. */
static void give_tile_bitmap(ALLEGRO_MAP_TILE *tile)
{
    ALLEGRO_MAP_TILESET *tileset = tile->tileset;
    if (tile->bitmap || !tileset || !tileset->bitmap)
        return;
    int columns = tileset_columns(tileset);
    if (columns <= 0)
        return;
    long long index = (long long)tile->id - tileset->firstgid;
    if (index < 0)
        return;
    long long left = (long long)tileset->tilewidth * (index % columns);
    long long top = (long long)tileset->tileheight * (index / columns);
    if (left + tileset->tilewidth > al_get_bitmap_width(tileset->bitmap) ||
        top + tileset->tileheight > al_get_bitmap_height(tileset->bitmap))
        return;
    tile->bitmap = al_create_sub_bitmap(tileset->bitmap, (int)left, (int)top,
                                        tileset->tilewidth, tileset->tileheight);
}

static ALLEGRO_MAP_TILE *new_tile(int id, ALLEGRO_MAP_TILESET *tileset, GHashTable *properties)
{
    ALLEGRO_MAP_TILE *tile = al_calloc(1, sizeof *tile);
    if (!tile) {
        g_hash_table_unref(properties);
        return NULL;
    }
    tile->id = id;
    tile->tileset = tileset;
    tile->properties = properties;
    return tile;
}

static ALLEGRO_MAP_TILESET *parse_tileset(xmlNode *node)
{
    ALLEGRO_MAP_TILESET *tileset = al_calloc(1, sizeof *tileset);
    if (!tileset)
        return NULL;
    tileset->firstgid = tiled_read_int(get_xml_attribute(node, "firstgid"), 0);
    tileset->tilewidth = tiled_read_int(get_xml_attribute(node, "tilewidth"), 0);
    tileset->tileheight = tiled_read_int(get_xml_attribute(node, "tileheight"), 0);
    tileset->name = copy_attribute(node, "name");

    xmlNode *image = get_first_child_for_name(node, "image");
    const char *source = image ? get_xml_attribute(image, "source") : NULL;
    if (!image) {
        const char *external = get_xml_attribute(node, "source");
        if (external)
            fprintf(stderr, "Error: external tileset '%s' is not supported; its tiles have no bitmaps\n",
                    external);
        else
            fprintf(stderr, "Error: tileset '%s' has no image; its tiles have no bitmaps\n",
                    or_null(tileset->name));
    } else if (!source) {
        fprintf(stderr, "Error: the image of tileset '%s' has no source; its tiles have no bitmaps\n",
                or_null(tileset->name));
    } else {
        tileset->bitmap = is_regular_file(source) ? al_load_bitmap(source) : NULL;
        if (!tileset->bitmap)
            fprintf(stderr, "Error: no bitmap available; did you load the image addon?\n");
    }
    tileset->source = g_strdup(source ? source : "");

    if (image) {
        ALLEGRO_BITMAP *bitmap = tileset->bitmap;
        tileset->width = tiled_read_int(get_xml_attribute(image, "width"),
                                        bitmap ? al_get_bitmap_width(bitmap) : 0);
        tileset->height = tiled_read_int(get_xml_attribute(image, "height"),
                                         bitmap ? al_get_bitmap_height(bitmap) : 0);
        if (bitmap && tileset_columns(tileset) <= 0)
            fprintf(stderr, "Error: tileset '%s' cannot be cut into tiles of %dx%d pixels from an image "
                    "%d pixels wide; its tiles have no bitmaps\n",
                    or_null(tileset->name), tileset->tilewidth, tileset->tileheight, tileset->width);
        else if (bitmap && (al_get_bitmap_width(bitmap) < tileset->tilewidth ||
                            al_get_bitmap_height(bitmap) < tileset->tileheight))
            fprintf(stderr, "Error: tileset '%s' cannot be cut into tiles of %dx%d pixels: its image '%s' "
                    "is only %dx%d pixels; its tiles have no bitmaps\n",
                    or_null(tileset->name), tileset->tilewidth, tileset->tileheight, source,
                    al_get_bitmap_width(bitmap), al_get_bitmap_height(bitmap));
    }

    /* Declared tiles, walked backwards and put in front: document order. */
    GSList *children = get_children_for_name(node, "tile");
    for (GSList *l = children; l; l = l->next) {
        const char *id_text = get_xml_attribute(l->data, "id");
        if (!id_text)
            continue;
        long long gid = (long long)tileset->firstgid + tiled_read_int(id_text, 0);
        if (gid < INT_MIN || gid > INT_MAX)
            continue;
        ALLEGRO_MAP_TILE *tile = new_tile((int)gid, tileset, parse_properties(l->data));
        if (tile)
            tileset->tiles = g_slist_prepend(tileset->tiles, tile);
    }
    g_slist_free(children);
    return tileset;
}

/* The map's tilesets ordered by firstgid, and among equal firstgids in
 * reverse document order, for finding the tileset of a gid by binary search:
 * the last entry whose firstgid is not above a gid is then the one wanted. */
typedef struct {
    ALLEGRO_MAP_TILESET *tileset;
    size_t order; /* position in document order */
} TilesetEntry;

typedef struct {
    TilesetEntry *entries;
    size_t count;
} TilesetIndex;

static int compare_tileset_entries(const void *a, const void *b)
{
    const TilesetEntry *x = a, *y = b;
    if (x->tileset->firstgid != y->tileset->firstgid)
        return x->tileset->firstgid < y->tileset->firstgid ? -1 : 1;
    return x->order > y->order ? -1 : x->order < y->order;
}

/* False when out of memory. */
static bool build_tileset_index(TilesetIndex *index, ALLEGRO_MAP *map)
{
    index->count = g_slist_length(map->tilesets);
    index->entries = NULL;
    if (index->count == 0)
        return true;
    index->entries = al_malloc(index->count * sizeof *index->entries);
    if (!index->entries)
        return false;
    size_t i = 0;
    for (GSList *l = map->tilesets; l; l = l->next, i++) {
        index->entries[i].tileset = l->data;
        index->entries[i].order = i;
    }
    qsort(index->entries, index->count, sizeof *index->entries, compare_tileset_entries);
    return true;
}

/* The tileset with the greatest firstgid not above `id`; of equal ones the
 * first in document order. */
static ALLEGRO_MAP_TILESET *tileset_for_id(const TilesetIndex *index, uint32_t id)
{
    const TilesetEntry *entries = index->entries;
    /* lo: the first entry whose firstgid is above id. */
    size_t lo = 0, hi = index->count;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if ((long long)entries[mid].tileset->firstgid <= (long long)id)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo == 0 ? NULL : entries[lo - 1].tileset;
}

/* What the tile passes of one map share: the tilesets by firstgid, and a
 * bit for each gid that needs nothing more (0, and each gid whose tile has
 * its record and was given its bitmap), so that most cells cost one bit
 * test. */
typedef struct {
    TilesetIndex index;
    unsigned char *done;
    size_t done_gids; /* gids that `done` has room for */
} TilePass;

/* Gids from here on are not marked (they go through the tile table each
 * time): the bits stay within 2 MB whatever gids a map uses. */
#define MAX_MARKED_GIDS ((size_t)1 << 24)

/* A gid that cannot be marked (too large, or out of memory) is simply
 * looked at again each time. */
static void mark_done(TilePass *pass, uint32_t id)
{
    if (id >= MAX_MARKED_GIDS)
        return;
    if (id >= pass->done_gids) {
        size_t gids = 1024;
        while (gids <= id)
            gids *= 2;
        unsigned char *done = al_realloc(pass->done, gids / 8);
        if (!done)
            return;
        memset(done + pass->done_gids / 8, 0, (gids - pass->done_gids) / 8);
        pass->done = done;
        pass->done_gids = gids;
    }
    pass->done[id >> 3] |= (unsigned char)(1u << (id & 7));
}

static bool cell_done(const TilePass *pass, uint32_t cell)
{
    uint32_t id = cell & ~TILED_FLIP_BITS;
    return id < pass->done_gids && (pass->done[id >> 3] >> (id & 7) & 1) != 0;
}

/* Gives the tile of gid `id` its record and bitmap when it has none yet.
 * A gid of no tileset is reported once per layer (*warned). */
static void complete_tile(ALLEGRO_MAP *map, TilePass *pass, ALLEGRO_MAP_LAYER *layer, uint32_t id, bool *warned)
{
    if (id == 0)
        return;
    ALLEGRO_MAP_TILE *tile = g_hash_table_lookup(map->tiles, GINT_TO_POINTER((int)id));
    if (!tile) {
        ALLEGRO_MAP_TILESET *tileset = tileset_for_id(&pass->index, id);
        if (!tileset) {
            if (!*warned)
                fprintf(stderr, "Error: layer '%s' uses gid %u, which belongs to no tileset\n",
                        or_null(layer->name), (unsigned)id);
            *warned = true;
            return;
        }
        tile = new_tile((int)id, tileset, g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
        if (!tile)
            return;
        tileset->tiles = g_slist_prepend(tileset->tiles, tile);
        g_hash_table_insert(map->tiles, GINT_TO_POINTER((int)id), tile);
    }
    give_tile_bitmap(tile);
    mark_done(pass, id);
}

static void complete_cells(ALLEGRO_MAP *map, TilePass *pass, ALLEGRO_MAP_LAYER *layer,
                           const uint32_t *cells, size_t count, bool *warned)
{
    /* A gid that stays unmarked (no tileset) is looked up once per run. */
    uint32_t previous = 0;
    for (size_t i = 0; i < count; i++) {
        if (cells[i] == previous || cell_done(pass, cells[i]))
            continue;
        previous = cells[i];
        complete_tile(map, pass, layer, cells[i] & ~TILED_FLIP_BITS, warned);
    }
}

/* Four cells in one vector register, and the result of comparing them. */
typedef uint32_t CellQuad __attribute__((vector_size(16)));
typedef int32_t CellQuadMask __attribute__((vector_size(16)));

#define CELL_BLOCK 16

/* Whether the block of cells holds no values but its first and its last:
 * one run, or the end of one and the start of the next, as nearly every
 * block of a map does. Compared four cells at a time, without branches. */
static bool block_of_two_values(const uint32_t *cells)
{
    uint32_t first = cells[0], last = cells[CELL_BLOCK - 1];
    const CellQuad firsts = {first, first, first, first};
    const CellQuad lasts = {last, last, last, last};
    CellQuadMask others = {0, 0, 0, 0};
    for (int i = 0; i < CELL_BLOCK; i += 4) {
        CellQuad quad;
        memcpy(&quad, cells + i, sizeof quad);
        others |= (quad != firsts) & (quad != lasts);
    }
    uint64_t halves[2];
    memcpy(halves, &others, sizeof halves);
    return (halves[0] | halves[1]) == 0;
}

/* Every gid used by the layer gets a tile record and, when its tileset has
 * an image, one sub-bitmap. Only the first `count` cells can hold a gid. */
static void tile_pass(ALLEGRO_MAP *map, TilePass *pass, ALLEGRO_MAP_LAYER *layer, size_t count)
{
    const uint32_t *cells = layer->data;
    /* A layer without cells has no array to step through. */
    if (!cells)
        return;
    bool warned = false;
    size_t i = 0;
    for (; i + CELL_BLOCK <= count; i += CELL_BLOCK) {
        if (block_of_two_values(cells + i) && cell_done(pass, cells[i]) &&
            cell_done(pass, cells[i + CELL_BLOCK - 1]))
            continue;
        complete_cells(map, pass, layer, cells + i, CELL_BLOCK, &warned);
    }
    complete_cells(map, pass, layer, cells + i, count - i, &warned);
}

/* ---- layers and objects -------------------------------------------------- */

static ALLEGRO_MAP_OBJECT *parse_object(xmlNode *node, ALLEGRO_MAP_LAYER *layer)
{
    ALLEGRO_MAP_OBJECT *object = al_calloc(1, sizeof *object);
    if (!object)
        return NULL;
    object->layer = layer;
    object->name = copy_attribute(node, "name");
    object->type = copy_attribute(node, "type");
    object->x = tiled_read_int(get_xml_attribute(node, "x"), 0);
    object->y = tiled_read_int(get_xml_attribute(node, "y"), 0);
    object->width = tiled_read_int(get_xml_attribute(node, "width"), 0);
    object->height = tiled_read_int(get_xml_attribute(node, "height"), 0);
    object->gid = tiled_read_int(get_xml_attribute(node, "id"), 0);
    object->visible = read_visible(node);
    object->properties = parse_properties(node);
    return object;
}

/* Reads one "layer" or "objectgroup" into a new layer, or null when the map
 * must be refused (after its line). */
static ALLEGRO_MAP_LAYER *parse_layer(ALLEGRO_MAP *map, TilePass *pass, xmlNode *node,
                                      const char *filename)
{
    ALLEGRO_MAP_LAYER *layer = al_calloc(1, sizeof *layer);
    if (!layer) {
        fprintf(stderr, "Error: out of memory while loading map %s\n", filename);
        return NULL;
    }
    layer->name = copy_attribute(node, "name");
    layer->properties = parse_properties(node);
    layer->visible = read_visible(node);
    layer->opacity = read_opacity(node);

    if (is_element(node, "layer")) {
        layer->type = TILED_TILE_LAYER;
        layer->width = tiled_read_int(get_xml_attribute(node, "width"), 0);
        layer->height = tiled_read_int(get_xml_attribute(node, "height"), 0);
        if (layer->width < 0 || layer->height < 0) {
            fprintf(stderr, "Error: map %s: layer '%s' has a negative size (%d x %d)\n",
                    filename, or_null(layer->name), layer->width, layer->height);
            _al_free_layer(layer);
            return NULL;
        }
        if ((long long)layer->width * layer->height > MAX_LAYER_CELLS) {
            fprintf(stderr, "Error: map %s: layer '%s' is too large (%d x %d cells)\n",
                    filename, or_null(layer->name), layer->width, layer->height);
            _al_free_layer(layer);
            return NULL;
        }
        size_t written;
        if (!decode_layer_data(get_first_child_for_name(node, "data"), layer, &written)) {
            fprintf(stderr, "Error: map %s: out of memory for the cells of layer '%s'\n",
                    filename, or_null(layer->name));
            _al_free_layer(layer);
            return NULL;
        }
        tile_pass(map, pass, layer, written);
    } else {
        layer->type = TILED_OBJECT_LAYER;
        GSList *children = get_children_for_name(node, "object");
        for (GSList *l = children; l; l = l->next) {
            ALLEGRO_MAP_OBJECT *object = parse_object(l->data, layer);
            if (!object)
                continue;
            layer->objects = g_slist_prepend(layer->objects, object);
            layer->object_count++;
        }
        g_slist_free(children);
    }
    return layer;
}

/* Fills `map` from the root element; false (after a line) when the map is
 * refused. Whatever was filled in is released with the map. */
static bool build_map(ALLEGRO_MAP *map, xmlNode *root, const char *filename)
{
    static const char *const size_names[] = {"width", "height", "tilewidth", "tileheight"};
    int *size_fields[] = {&map->width, &map->height, &map->tile_width, &map->tile_height};
    for (int i = 0; i < 4; i++) {
        const char *text = get_xml_attribute(root, size_names[i]);
        *size_fields[i] = tiled_read_int(text, 0);
        if (*size_fields[i] <= 0) {
            fprintf(stderr, "Error: map %s: \"%s\" is missing or not above 0\n", filename, size_names[i]);
            return false;
        }
    }
    map->orientation = copy_attribute(root, "orientation");
    map->properties = parse_properties(root);

    /* Walked backwards and put in front, so the lists end in document order. */
    GSList *children = get_children_for_name(root, "tileset");
    for (GSList *l = children; l; l = l->next) {
        ALLEGRO_MAP_TILESET *tileset = parse_tileset(l->data);
        if (tileset)
            map->tilesets = g_slist_prepend(map->tilesets, tileset);
    }
    g_slist_free(children);
    cache_tile_list(map);

    TilePass pass = {0};
    if (!build_tileset_index(&pass.index, map)) {
        fprintf(stderr, "Error: out of memory while loading map %s\n", filename);
        return false;
    }
    mark_done(&pass, 0); /* an empty cell has no tile to make */
    bool ok = true;
    children = get_children_for_either_name(root, "layer", "objectgroup");
    for (GSList *l = children; l && ok; l = l->next) {
        ALLEGRO_MAP_LAYER *layer = parse_layer(map, &pass, l->data, filename);
        if (!layer) {
            ok = false;
            break;
        }
        if (layer->type == TILED_TILE_LAYER) {
            map->tile_layers = g_slist_prepend(map->tile_layers, layer);
            map->tile_layer_count++;
        } else {
            map->object_layers = g_slist_prepend(map->object_layers, layer);
            map->object_layer_count++;
        }
        map->layers = g_slist_prepend(map->layers, layer);
    }
    g_slist_free(children);
    al_free(pass.index.entries);
    al_free(pass.done);
    if (!ok)
        return false;

    /* An object's id names the tile whose bitmap it shows. */
    for (GSList *l = map->object_layers; l; l = l->next) {
        ALLEGRO_MAP_LAYER *layer = l->data;
        for (GSList *o = layer->objects; o; o = o->next) {
            ALLEGRO_MAP_OBJECT *object = o->data;
            if (object->gid == 0)
                continue;
            ALLEGRO_MAP_TILE *tile = al_get_tile_for_id(map, object->gid);
            object->bitmap = tile ? tile->bitmap : NULL;
            object->width = map->tile_width;
            object->height = map->tile_height;
        }
    }
    return true;
}

static int read_compressed(void *file, char *buffer, int length)
{
    return gzread(file, buffer, (unsigned)length);
}

static int close_compressed(void *file)
{
    return gzclose(file) == Z_OK ? 0 : -1;
}

/* The document in the regular file of that name. libxml2 never sees the
 * name as a place to read from: it would take "-" for standard input and an
 * address for the network. The file goes through zlib as libxml2 reads a
 * file it opens itself, so a gzip-compressed map still reads. */
static xmlDoc *read_document(const char *filename)
{
    int fd = open_regular_file(filename);
    if (fd < 0)
        return NULL;
    gzFile file = gzdopen(fd, "rb");
    if (!file) {
        close(fd);
        return NULL;
    }
    /* The name stays the document's own, for its messages. */
    return xmlReadIO(read_compressed, close_compressed, file, filename, NULL, 0);
}

/* Reads the map file in the working directory. */
static ALLEGRO_MAP *read_map(const char *filename)
{
    xmlDoc *doc = read_document(filename);
    xmlNode *root = doc ? xmlDocGetRootElement(doc) : NULL;
    if (!root) {
        fprintf(stderr, "Error: failed to parse map data: %s\n", filename);
        if (doc)
            xmlFreeDoc(doc);
        return NULL;
    }
    ALLEGRO_MAP *map = al_calloc(1, sizeof *map);
    bool ok = map && build_map(map, root, filename);
    if (!map)
        fprintf(stderr, "Error: out of memory while loading map %s\n", filename);
    xmlFreeDoc(doc);
    if (!ok) {
        al_free_map(map);
        return NULL;
    }
    return map;
}

static void destroy_path(ALLEGRO_PATH *path)
{
    if (path)
        al_destroy_path(path);
}

ALLEGRO_MAP *al_open_map(const char *dir, const char *filename)
{
    if (!dir || !filename) {
        fprintf(stderr, "Error: al_open_map() needs a folder and a file name.\n");
        return NULL;
    }
    if (!al_is_system_installed()) {
        fprintf(stderr, "Error: al_open_map() needs Allegro to be initialised.\n");
        return NULL;
    }

    char *cwd = al_get_current_directory();
    if (!cwd) {
        fprintf(stderr, "failed to get cwd; errno = %d", al_get_errno());
        return NULL;
    }

    ALLEGRO_PATH *base;
    if (resources_rel_to == 0) {
        base = al_get_standard_path(ALLEGRO_RESOURCES_PATH);
    } else if (resources_rel_to == 1) {
        base = al_create_path_for_directory(cwd);
    } else {
        fprintf(stderr, "unexpected value for `resources_rel_to` in al_open_map(): %d\n", resources_rel_to);
        al_free(cwd);
        return NULL;
    }

    ALLEGRO_PATH *folder = al_create_path_for_directory(dir);
    ALLEGRO_PATH *target = folder;
    if (base && folder && al_join_paths(base, folder))
        target = base;
    const char *target_text = target ? al_path_cstr(target, ALLEGRO_NATIVE_PATH_SEP) : dir;
    if (!target || !al_change_directory(target_text)) {
        fprintf(stderr, "Error: failed to cd into `%s` in al_open_map().\n", target_text);
        destroy_path(base);
        destroy_path(folder);
        al_free(cwd);
        return NULL;
    }
    destroy_path(base);
    destroy_path(folder);

    ALLEGRO_MAP *map = read_map(filename);

    if (!al_change_directory(cwd))
        fprintf(stderr, "Error: failed to return to `%s` in al_open_map().\n", cwd);
    al_free(cwd);
    return map;
}
