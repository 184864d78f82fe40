#pragma once

// A temporary program folder with the terminal registry made and opened in it, and the grid's editing
// model over it, as the window has them after its creation.

#include "data/TerminalRegistry.h"
#include "gui/RegistryDataset.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace tarvel {

class RegistryFolder {
protected:
    // Makes the folder's registry and opens it and the editing model.
    void openRegistry()
    {
        ASSERT_TRUE(dir.isValid());
        registry.CreateTerminalRegistry(programFolder);
        registry.OpenTerminalRegistry(programFolder);
        data.Open();
        ASSERT_TRUE(data.IsOpen());
    }

    QTemporaryDir dir;
    QString programFolder = dir.path() + QDir::separator();
    TerminalRegistry registry;
    RegistryDataset data{registry};
};

} // namespace tarvel
