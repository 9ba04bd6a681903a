// Small helpers shared by the engine's tests.
#pragma once

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <allegro5/allegro.h>
#include <unistd.h>

// A temporary folder that a test can work in; removed again with its files.
class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/vemra-test-XXXXXX";
        const char *made = mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempDir()
    {
        leave();
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

    // Makes the folder the working directory until leave(); true when it is.
    bool enter()
    {
        if (!entered_) {
            char *cwd = getcwd(nullptr, 0);
            old_ = cwd ? cwd : "/";
            free(cwd);
            entered_ = chdir(path_.c_str()) == 0;
        }
        return entered_;
    }
    // True when the working directory is no longer the folder.
    bool leave()
    {
        if (entered_ && chdir(old_.c_str()) == 0)
            entered_ = false;
        return !entered_;
    }

private:
    std::string path_;
    std::string old_;
    bool entered_ = false;
};

// The whole text of a file ("" when it cannot be read).
inline std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// --- fixtures for the map world ----------------------------------------------

// Writes a w x h PNG whose pixel (x, y) has the colour colourAt(x, y).
inline bool savePng(const std::string &path, int w, int h,
                    const std::function<ALLEGRO_COLOR(int, int)> &colourAt)
{
    int flags = al_get_new_bitmap_flags();
    al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);
    ALLEGRO_BITMAP *bitmap = al_create_bitmap(w, h);
    al_set_new_bitmap_flags(flags);
    if (!bitmap)
        return false;
    ALLEGRO_BITMAP *target = al_get_target_bitmap();
    al_set_target_bitmap(bitmap);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            al_put_pixel(x, y, colourAt(x, y));
    al_set_target_bitmap(target);
    bool saved = al_save_bitmap(path.c_str(), bitmap);
    al_destroy_bitmap(bitmap);
    return saved;
}

typedef std::map<std::string, std::string> Properties;

// A TMX map of 32-pixel tiles from one tileset of eight plain tiles (gids 1
// to 8, coloured by tileColour), with tile layers given cell by cell (cells
// left out are empty) and an "events" object layer.
struct TmxMap {
    struct Object {
        int id, x, y, w, h;
        Properties properties;
    };
    int width = 20, height = 15;
    Properties properties;
    std::map<int, Properties> tileProperties; // by gid
    std::map<std::string, std::vector<int>> layers;
    std::vector<Object> objects;

    static ALLEGRO_COLOR tileColour(int gid) { return al_map_rgb(20 + 25 * gid, 100, 220 - 25 * gid); }

    void set(const std::string &layer, int x, int y, int gid)
    {
        layers[layer].resize(width * height);
        layers[layer][y * width + x] = gid;
    }

    // Writes the map and its tileset image into folder.
    bool save(const std::string &folder, const std::string &name) const
    {
        std::ostringstream s;
        s << "<map orientation=\"orthogonal\" width=\"" << width << "\" height=\"" << height
          << "\" tilewidth=\"32\" tileheight=\"32\">" << xml(properties)
          << "<tileset firstgid=\"1\" tilewidth=\"32\" tileheight=\"32\"><image source=\"tiles.png\"/>";
        for (const auto &tile : tileProperties)
            s << "<tile id=\"" << tile.first - 1 << "\">" << xml(tile.second) << "</tile>";
        s << "</tileset>";
        for (const auto &layer : layers) {
            s << "<layer name=\"" << layer.first << "\" width=\"" << width << "\" height=\"" << height
              << "\"><data encoding=\"csv\">";
            for (int i = 0; i < width * height; i++)
                s << (i ? "," : "") << (i < (int)layer.second.size() ? layer.second[i] : 0);
            s << "</data></layer>\n";
        }
        s << "<objectgroup name=\"events\">";
        for (const Object &o : objects)
            s << "<object id=\"" << o.id << "\" x=\"" << o.x << "\" y=\"" << o.y << "\" width=\"" << o.w
              << "\" height=\"" << o.h << "\">" << xml(o.properties) << "</object>\n";
        s << "</objectgroup></map>\n";
        std::ofstream(folder + "/" + name) << s.str();
        return savePng(folder + "/tiles.png", 256, 32, [](int x, int) { return tileColour(x / 32 + 1); });
    }

private:
    static std::string xml(const Properties &properties)
    {
        std::string text = "<properties>";
        for (const auto &p : properties)
            text += "<property name=\"" + p.first + "\" value=\"" + p.second + "\"/>";
        return text + "</properties>";
    }
};
