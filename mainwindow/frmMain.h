#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shared/Form.h"
#include "shared/ItemPanel.h"

namespace corvina {

class IWeb;
class INavigationNode;
class ErrorReport;

// The generation window: the parameters panel above a bar of buttons. Its routines live in
// mainwindow/ (panel, lifecycle) and generation/ (driver, writers, compiler location).
class frmMain : public Form {
 public:
  frmMain();
  ~frmMain() override;

  ItemPanel suiParams;
  ItemPanel suiButtons;

  // The open site, set by BuildUI; nullptr when no site was open.
  IWeb* mWeb = nullptr;
  // Generation state shared by the driver and the writers.
  bool mUseKeywords = false;
  std::string mIndexFile;
  std::string mContentsFile;
  std::string mProjectFile;
  std::string mDerivedPage;
  // What the log window returned for the last run that reached the compiler (0 before any).
  int32_t mCompileResult = 0;

  // Parameters panel.
  bool BuildUI();
  void suiParams_AfterDropDown(Item& item);
  void suiParams_Browse(Item& item);
  void ResizeParamsUI();
  std::string GetSiteDirectory(std::string_view sURL);

  // Buttons.
  void suiButtons_Click(Item& item);

  // Generation driver.
  void Generate();
  void CheckForUnsavedFiles();
  bool CheckForOpenedCHM(std::string_view sTitle);
  void GetOutputFile();

  // Writers. Each returns false when its file could not be written.
  bool BuildContentFile();
  std::string EnumNodes(INavigationNode* oNode);
  std::string UseKeywords();
  bool BuildIndexFile();
  bool BuildProjectFile();
  // Returns false when the page could not be written.
  bool LinksToDerived();

  // Help compiler location.
  bool GetWorkShopPath();
  bool FindWorkShopLocation();

 protected:
  void Form_Load() override {}
  void Form_Activate() override;
  void Form_Unload() override;
  void C1Elastic1_ResizeChildren() override;

 private:
  // A saved value of this site's section, or the default when none is saved or the store fails
  // (the failure is reported).
  std::string ReadSetting(ErrorReport& report, std::string_view sSection, std::string_view sKey,
                          std::string_view sDefault);
};

}  // namespace corvina
