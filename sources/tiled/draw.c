/* Drawing tile and object layers of orthogonal maps onto the target bitmap. */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "tiled.h"

static ALLEGRO_COLOR white(void)
{
    return al_map_rgba_f(1, 1, 1, 1);
}

/* The tint with the layer's opacity: colours are premultiplied, so all four
 * components scale. */
static ALLEGRO_COLOR layer_tint(ALLEGRO_COLOR tint, float opacity)
{
    float r, g, b, a;
    al_unmap_rgba_f(tint, &r, &g, &b, &a);
    return al_map_rgba_f(r * opacity, g * opacity, b * opacity, a * opacity);
}

static bool is_orthogonal(ALLEGRO_MAP *map, const char *what)
{
    if (map->orientation && strcmp(map->orientation, "orthogonal") == 0)
        return true;
    fprintf(stderr, "Error: can't draw %s with orientation \"%s\"\n", what,
            map->orientation ? map->orientation : "(null)");
    return false;
}

/* The cell index of a region edge, truncated toward zero and kept within
 * -1 .. limit (cells outside the layer are empty anyway). */
static int cell_index(double position, int size, int limit)
{
    double index = trunc(position / size);
    if (!(index >= -1.0))
        return -1;
    if (index > limit)
        return limit;
    return (int)index;
}

void _al_draw_orthogonal_tile_layer(ALLEGRO_MAP_LAYER *layer, ALLEGRO_MAP *map, ALLEGRO_COLOR tint,
                                    float sx, float sy, float sw, float sh, float dx, float dy, int flags)
{
    if (!layer || !map || !layer->visible)
        return;
    if (!al_get_target_bitmap() || map->tile_width <= 0 || map->tile_height <= 0)
        return;
    ALLEGRO_COLOR color = layer_tint(tint, layer->opacity);

    int first_row = cell_index(sy, map->tile_height, layer->height);
    int last_row = cell_index((double)sy + sh, map->tile_height, layer->height);
    int first_column = cell_index(sx, map->tile_width, layer->width);
    int last_column = cell_index((double)sx + sw, map->tile_width, layer->width);
    if (first_row < 0)
        first_row = 0;
    if (first_column < 0)
        first_column = 0;

    al_hold_bitmap_drawing(true);
    for (int y = first_row; y <= last_row && y < layer->height; y++) {
        for (int x = first_column; x <= last_column && x < layer->width; x++) {
            /* One read of the cell gives its tile and its flip bits. */
            uint32_t cell = lookup_tile(layer, x, y);
            ALLEGRO_MAP_TILE *tile = al_get_tile_for_id(map, (int)(cell & ~TILED_FLIP_BITS));
            if (!tile || !tile->bitmap)
                continue;
            int cell_flags = flags;
            if (cell & TILED_FLIPPED_HORIZONTALLY)
                cell_flags |= ALLEGRO_FLIP_HORIZONTAL;
            if (cell & TILED_FLIPPED_VERTICALLY)
                cell_flags |= ALLEGRO_FLIP_VERTICAL;
            float px = (float)((long long)map->tile_width * x) - sx + dx;
            float py = (float)((long long)map->tile_height * y) - sy + dy;
            al_draw_tinted_bitmap(tile->bitmap, color, px, py, cell_flags);
        }
    }
    al_hold_bitmap_drawing(false);
}

/* A float truncated toward zero into the int range. */
static int truncate_to_int(double value)
{
    if (!(value > -2147483648.0))
        return -2147483647 - 1;
    if (value >= 2147483647.0)
        return 2147483647;
    return (int)value;
}

void _al_draw_orthogonal_object_layer(ALLEGRO_MAP_LAYER *layer, ALLEGRO_MAP *map, ALLEGRO_COLOR tint,
                                      float sx, float sy, float sw, float sh, float dx, float dy, int flags)
{
    (void)map;
    if (!layer || !layer->visible || !al_get_target_bitmap())
        return;
    ALLEGRO_COLOR color = layer_tint(tint, layer->opacity);

    al_hold_bitmap_drawing(true);
    for (GSList *l = layer->objects; l; l = l->next) {
        ALLEGRO_MAP_OBJECT *object = l->data;
        if (!object->bitmap)
            continue;
        /* x, y: the object's bottom-left corner relative to the region. */
        long long x = truncate_to_int((double)object->x - sx);
        long long y = truncate_to_int((double)object->y - sy);
        if (x + object->width < 0 || x > sw || y < 0 || y - object->height > sh)
            continue;
        al_draw_tinted_bitmap(object->bitmap, color, (float)x + dx, (float)(y - object->height) + dy, flags);
    }
    al_hold_bitmap_drawing(false);
}

void _al_draw_orthogonal_map(ALLEGRO_MAP *map, ALLEGRO_COLOR tint,
                             float sx, float sy, float sw, float sh, float dx, float dy, int flags)
{
    if (!map)
        return;
    for (GSList *l = map->layers; l; l = l->next) {
        ALLEGRO_MAP_LAYER *layer = l->data;
        if (layer->type == TILED_TILE_LAYER)
            _al_draw_orthogonal_tile_layer(layer, map, tint, sx, sy, sw, sh, dx, dy, flags);
        else
            _al_draw_orthogonal_object_layer(layer, map, tint, sx, sy, sw, sh, dx, dy, flags);
    }
}

/* The whole map in pixels. */
static float map_pixel_width(ALLEGRO_MAP *map)
{
    return (float)((long long)map->width * map->tile_width);
}

static float map_pixel_height(ALLEGRO_MAP *map)
{
    return (float)((long long)map->height * map->tile_height);
}

void al_draw_tinted_map(ALLEGRO_MAP *map, ALLEGRO_COLOR tint, float dx, float dy, int flags)
{
    if (!map || !is_orthogonal(map, "map"))
        return;
    _al_draw_orthogonal_map(map, tint, 0, 0, map_pixel_width(map), map_pixel_height(map), dx, dy, flags);
}

void al_draw_tinted_map_region(ALLEGRO_MAP *map, ALLEGRO_COLOR tint,
                               float sx, float sy, float sw, float sh, float dx, float dy, int flags)
{
    if (!map || !is_orthogonal(map, "map"))
        return;
    _al_draw_orthogonal_map(map, tint, sx, sy, sw, sh, dx, dy, flags);
}

void al_draw_map(ALLEGRO_MAP *map, float dx, float dy, int flags)
{
    al_draw_tinted_map(map, white(), dx, dy, flags);
}

void al_draw_map_region(ALLEGRO_MAP *map, float sx, float sy, float sw, float sh, float dx, float dy, int flags)
{
    al_draw_tinted_map_region(map, white(), sx, sy, sw, sh, dx, dy, flags);
}

void al_draw_tinted_tile_layer_for_name(ALLEGRO_MAP *map, const char *name, ALLEGRO_COLOR tint,
                                        float dx, float dy, int flags)
{
    ALLEGRO_MAP_LAYER *layer = al_get_layer_for_name(map, name);
    if (!layer)
        return;
    _al_draw_orthogonal_tile_layer(layer, map, tint, 0, 0, map_pixel_width(map), map_pixel_height(map),
                                   dx, dy, flags);
}

void al_draw_tile_layer_for_name(ALLEGRO_MAP *map, const char *name, float dx, float dy, int flags)
{
    al_draw_tinted_tile_layer_for_name(map, name, white(), dx, dy, flags);
}

void al_draw_layer_for_name(ALLEGRO_MAP *map, const char *name, float dx, float dy, int flags)
{
    al_draw_tinted_tile_layer_for_name(map, name, white(), dx, dy, flags);
}

void al_draw_tinted_tile_layer_region_for_name(ALLEGRO_MAP *map, const char *name, ALLEGRO_COLOR tint,
                                               float sx, float sy, float sw, float sh,
                                               float dx, float dy, int flags)
{
    if (!map || !is_orthogonal(map, "layer"))
        return;
    ALLEGRO_MAP_LAYER *layer = al_get_layer_for_name(map, name);
    if (!layer)
        return;
    _al_draw_orthogonal_tile_layer(layer, map, tint, sx, sy, sw, sh, dx, dy, flags);
}

void al_draw_tile_layer_region_for_name(ALLEGRO_MAP *map, const char *name,
                                        float sx, float sy, float sw, float sh, float dx, float dy, int flags)
{
    al_draw_tinted_tile_layer_region_for_name(map, name, white(), sx, sy, sw, sh, dx, dy, flags);
}

void al_draw_layer_region_for_name(ALLEGRO_MAP *map, const char *name,
                                   float sx, float sy, float sw, float sh, float dx, float dy, int flags)
{
    al_draw_tinted_tile_layer_region_for_name(map, name, white(), sx, sy, sw, sh, dx, dy, flags);
}
