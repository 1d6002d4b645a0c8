#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace quadrantel::traffic {

// Case-blind hashing and equality of 8-bit keys, folding as platform::UpperChar does
// (ASCII and Latin-1 letters).
struct NoCaseKey {
    static constexpr std::array<unsigned char, 256> kFold = [] {
        std::array<unsigned char, 256> a{};
        for (unsigned u = 0; u < 256; ++u)
            a[u] = static_cast<unsigned char>((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7) ? u - 32
                                                                                                              : u);
        return a;
    }();

    static unsigned char Fold(char c) { return kFold[static_cast<unsigned char>(c)]; }

    static std::size_t Hash(std::string_view key)
    {
        std::uint64_t h = 14695981039346656037ull;
        for (char c : key)
            h = (h ^ Fold(c)) * 1099511628211ull;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }

    static bool Equal(std::string_view a, std::string_view b)
    {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (Fold(a[i]) != Fold(b[i]))
                return false;
        return true;
    }
};

// A keyed collection with case-blind keys that keeps the order of addition. Lookup,
// removal and re-appending are O(1); nothing is searched.
template <class T> class KeyedCollection {
public:
    struct Entry {
        std::string key; // the spelling the entry was first added with
        T item;
    };
    using const_iterator = typename std::list<Entry>::const_iterator;

    KeyedCollection() = default;
    // The index points into the list's nodes, so a copy has to rebuild it.
    KeyedCollection(const KeyedCollection& other) : order_(other.order_) { reindex(); }
    KeyedCollection& operator=(const KeyedCollection& other)
    {
        if (this != &other) {
            order_ = other.order_;
            reindex();
        }
        return *this;
    }
    KeyedCollection(KeyedCollection&&) noexcept = default;
    KeyedCollection& operator=(KeyedCollection&&) noexcept = default;

    std::size_t size() const { return order_.size(); }
    bool empty() const { return order_.empty(); }
    const_iterator begin() const { return order_.begin(); }
    const_iterator end() const { return order_.end(); }

    bool contains(std::string_view key) const { return index_.find(key) != index_.end(); }

    const T* find(std::string_view key) const
    {
        const auto it = index_.find(key);
        return it == index_.end() ? nullptr : &it->second->item;
    }
    T* find(std::string_view key)
    {
        const auto it = index_.find(key);
        return it == index_.end() ? nullptr : &it->second->item;
    }

    // Removes the entry; an absent key is no error.
    bool remove(std::string_view key)
    {
        const auto it = index_.find(key);
        if (it == index_.end())
            return false;
        const auto node = it->second;
        index_.erase(it);
        order_.erase(node);
        return true;
    }

    // Removes the entry if present and adds it again at the end; returns its item for
    // the caller to overwrite. The node is moved, not reallocated, so the item's buffers
    // are reused on the hot path.
    T& reappend(std::string_view key)
    {
        const auto it = index_.find(key);
        if (it != index_.end()) {
            order_.splice(order_.end(), order_, it->second);
            return it->second->item;
        }
        order_.push_back(Entry{std::string(key), T{}});
        const auto node = std::prev(order_.end());
        try {
            index_.emplace(std::string_view(node->key), node);
        } catch (...) {
            order_.pop_back();
            throw;
        }
        return node->item;
    }

    void clear()
    {
        index_.clear();
        order_.clear();
    }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view k) const { return NoCaseKey::Hash(k); }
    };
    struct Eq {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const { return NoCaseKey::Equal(a, b); }
    };

    void reindex()
    {
        index_.clear();
        for (auto it = order_.begin(); it != order_.end(); ++it)
            index_.emplace(std::string_view(it->key), it);
    }

    std::list<Entry> order_;
    // Keys are views of the list nodes' keys, which never change once added.
    std::unordered_map<std::string_view, typename std::list<Entry>::iterator, Hash, Eq> index_;
};

} // namespace quadrantel::traffic
