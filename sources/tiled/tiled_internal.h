/*
 * Pieces of the TMX loader shared between its source files: element helpers,
 * the inflater and the parser's steps. Not for the engine.
 */
#ifndef VEMRA_TILED_INTERNAL_H
#define VEMRA_TILED_INTERNAL_H

#include <stddef.h>

#include <libxml/tree.h>

#include "tiled.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- xml ----------------------------------------------------------- */

/* True when the node is an element called `name`. */
bool is_element(xmlNode *node, const char *name);

/* The node's child elements called `name`, in reverse document order; free
 * the list cells with g_slist_free. */
GSList *get_children_for_name(xmlNode *node, const char *name);
GSList *get_children_for_either_name(xmlNode *node, const char *name1, const char *name2);
/* The first child element called `name`, or null. */
xmlNode *get_first_child_for_name(xmlNode *node, const char *name);
/* The attribute's text (owned by the document; "" for an empty value), or
 * null when the node has no such attribute. */
const char *get_xml_attribute(xmlNode *node, const char *name);

/* Decimal text read as atoi reads it, clamped to the int range; `def` for a
 * null text. */
int tiled_read_int(const char *text, int def);
/* An unsigned 32-bit decimal after optional white space. Sets *end (when not
 * null) to the first character after the number. Text without digits, a
 * negative number and a number above 4294967295 give 0. */
uint32_t tiled_read_gid(const char *text, const char **end);

/* ---- zpipe --------------------------------------------------------- */

/* Inflates the zlib or gzip stream in `source` (the header is detected).
 * The first `dest_size` bytes of output go to `dest`, the rest is inflated
 * and dropped; *produced is the number of bytes stored in `dest`, also after
 * an error. Returns Z_OK at the end of the stream, else a zlib error code. */
int inf(const unsigned char *source, size_t source_size,
        unsigned char *dest, size_t dest_size, size_t *produced);
/* Writes the "zpipe: " line for a zlib result code. */
void zerr(int code);

/* ---- parser -------------------------------------------------------- */

/* Gives `layer` (width and height set) its cells from the "data" element
 * (may be null: an empty layer). *written (when not null) is set to the
 * number of leading cells the data filled in; every cell after them is 0.
 * False only when the cells cannot be allocated. */
bool decode_layer_data(xmlNode *data, ALLEGRO_MAP_LAYER *layer, size_t *written);
void cache_tile_list(ALLEGRO_MAP *map);
GHashTable *parse_properties(xmlNode *node);

#ifdef __cplusplus
}
#endif

#endif
