/* Element helpers over libxml2's tree, and the number readers of the loader. */
#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "tiled_internal.h"

bool is_element(xmlNode *node, const char *name)
{
    return node->type == XML_ELEMENT_NODE && strcmp((const char *)node->name, name) == 0;
}

/* The child elements called name1 or (when not null) name2, in reverse
 * document order. */
static GSList *children_named(xmlNode *node, const char *name1, const char *name2)
{
    GSList *list = NULL;
    if (!node)
        return NULL;
    for (xmlNode *child = node->children; child; child = child->next) {
        if (is_element(child, name1) || (name2 && is_element(child, name2)))
            list = g_slist_prepend(list, child);
    }
    return list;
}

GSList *get_children_for_name(xmlNode *node, const char *name)
{
    return children_named(node, name, NULL);
}

GSList *get_children_for_either_name(xmlNode *node, const char *name1, const char *name2)
{
    return children_named(node, name1, name2);
}

xmlNode *get_first_child_for_name(xmlNode *node, const char *name)
{
    if (!node)
        return NULL;
    for (xmlNode *child = node->children; child; child = child->next) {
        if (is_element(child, name))
            return child;
    }
    return NULL;
}

const char *get_xml_attribute(xmlNode *node, const char *name)
{
    if (!node || node->type != XML_ELEMENT_NODE)
        return NULL;
    for (xmlAttr *attr = node->properties; attr; attr = attr->next) {
        if (strcmp((const char *)attr->name, name) != 0)
            continue;
        /* The parser keeps an attribute's value as one text child. */
        if (attr->children && attr->children->type == XML_TEXT_NODE && attr->children->content)
            return (const char *)attr->children->content;
        return "";
    }
    return NULL;
}

int tiled_read_int(const char *text, int def)
{
    if (!text)
        return def;
    long value = strtol(text, NULL, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return (int)value;
}

uint32_t tiled_read_gid(const char *text, const char **end)
{
    const char *p = text;
    while (isspace((unsigned char)*p))
        p++;
    bool negative = (*p == '-');
    char *stop;
    errno = 0;
    unsigned long value = strtoul(p, &stop, 10);
    if (end)
        *end = stop;
    if (negative || errno == ERANGE || value > 0xFFFFFFFFul)
        return 0;
    return (uint32_t)value;
}
