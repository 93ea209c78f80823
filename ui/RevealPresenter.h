#pragma once
// Shows files selected in the file manager.

#include <filesystem>
#include <vector>

class RevealPresenter {
public:
    virtual ~RevealPresenter() = default;
    virtual void reveal(const std::vector<std::filesystem::path>& files) = 0;

    // The desktop's file manager through org.freedesktop.FileManager1.ShowItems on the session
    // bus; without it, the folder of the first file in its default application.
    static RevealPresenter& system();
};
