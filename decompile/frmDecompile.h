#pragma once

#include "shared/Form.h"
#include "shared/ItemPanel.h"

namespace corvina {

// The decompile window: a compiled help file and an output folder above a bar of buttons. It
// keeps its placement and inputs in the "Decompile" settings section; its "Decompile" button
// has the log window run hh on the two paths and then closes both windows.
class frmDecompile : public Form {
 public:
  frmDecompile();
  ~frmDecompile() override;

  ItemPanel suiParams;
  ItemPanel suiButtons;

  // The decompile operation.
  void Decompile();
  void BrowseFile();
  void BrowseDirectory();

  void suiButtons_Click(Item& item);
  void suiParams_Browse(Item& item);

 protected:
  void Form_Load() override;
  void Form_Unload() override;
  void C1Elastic1_ResizeChildren() override;
};

}  // namespace corvina
