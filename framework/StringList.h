#pragma once
// The framework's string list: an ordered list of byte strings, optionally kept sorted, with
// change notifications. Descendants override Add; every operation that adds items one by one
// (SetText, AddStrings, LoadFromFile) goes through it.

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pw::framework {

class EStringListError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What Add does with a string that a sorted list already holds.
enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList {
  public:
    TStringList() = default;
    virtual ~TStringList() = default;
    TStringList(const TStringList&) = default;
    TStringList& operator=(const TStringList&) = default;
    TStringList(TStringList&&) = default;
    TStringList& operator=(TStringList&&) = default;

    int Count() const { return static_cast<int>(items_.size()); }
    // EStringListError "List index out of bounds (i)" outside 0..Count()-1.
    const std::string& Strings(int i) const;
    const std::string& operator[](int i) const { return Strings(i); }
    // Replaces item i; not allowed on a sorted list.
    void Put(int i, std::string_view s);

    // Appends s (unsorted) or inserts it at its sorted position, obeying Duplicates there.
    // Returns the index at which s is stored.
    virtual int Add(std::string_view s);
    // Inserts s before item i (i may be Count()); not allowed on a sorted list.
    void Insert(int i, std::string_view s);
    void Delete(int i);
    void Clear();

    // Index of the first item equal to s under the list's comparison, or -1.
    int IndexOf(std::string_view s) const;
    // Binary search of a sorted list: true when s is there; index is where s is or would go.
    bool Find(std::string_view s, int& index) const;

    bool Sorted() const { return sorted_; }
    // Setting it true sorts the list.
    void SetSorted(bool value);
    // Sorts an unsorted list in place (a sorted list is sorted already).
    void Sort();

    // Consulted by Add of a sorted list only.
    TDuplicates Duplicates = dupIgnore;

    bool CaseSensitive() const { return caseSensitive_; }
    // A sorted list is sorted again under the new comparison.
    void SetCaseSensitive(bool value);

    // Fired after and before every change; once around a batch inside BeginUpdate/EndUpdate.
    std::function<void()> OnChange;
    std::function<void()> OnChanging;
    void BeginUpdate();
    void EndUpdate();

    // Every item followed by CR LF.
    std::string Text() const;
    // Clears, then adds line by line through Add; CR LF, LF and CR all end a line.
    void SetText(std::string_view text);
    void AddStrings(const TStringList& other);

    // EFOpenError / EReadError / EWriteError of the streams on failure.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

  protected:
    // <0, 0, >0; folds ASCII case unless CaseSensitive.
    int CompareStrings(std::string_view a, std::string_view b) const;
    // Inserts without the sorted-list check; notifications fire.
    void InsertItem(int i, std::string_view s);
    [[noreturn]] static void IndexError(int i);

  private:
    void Changing();
    void Changed();
    void SortItems();

    std::vector<std::string> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    int updateCount_ = 0;
};

}  // namespace pw::framework
