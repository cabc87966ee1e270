#include "signals/parameter_grid.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

TEST(ParameterGrid, LayoutsWriteLabelsUnitsAndValues) {
  ParameterGrid grid;
  TissueParameters p;
  LayOutParameterGrid(grid, GridMode::Shitzer, p, ',');
  EXPECT_EQ(grid.cell(0, 1), "Rho");
  EXPECT_EQ(grid.cell(1, 1), "1057");
  EXPECT_EQ(grid.cell(0, 2), "C");
  EXPECT_EQ(grid.cell(1, 2), "3780");
  EXPECT_EQ(grid.cell(4, 1), "1069");
  EXPECT_EQ(grid.cell(4, 2), "3650");
  EXPECT_EQ(grid.cell(6, 1), "H");
  EXPECT_EQ(grid.cell(7, 1), "6");
  EXPECT_EQ(grid.cell(6, 2), "T");
  EXPECT_EQ(grid.cell(7, 2), "24");
  EXPECT_EQ(grid.cell(9, 1), "");

  LayOutParameterGrid(grid, GridMode::ThermalWave, p, ',');
  EXPECT_EQ(grid.cell(3, 1), "C");
  EXPECT_EQ(grid.cell(4, 1), "3780");
  EXPECT_EQ(grid.cell(6, 1), "Lambda");
  EXPECT_EQ(grid.cell(7, 1), "0,33");
  EXPECT_EQ(grid.cell(8, 1), "W/(m*K)");
  EXPECT_EQ(grid.cell(9, 1), "D");
  EXPECT_EQ(grid.cell(10, 1), "2");
  EXPECT_EQ(grid.cell(11, 1), "mm");
  EXPECT_EQ(grid.cell(7, 2), "");
}

TEST(ParameterGrid, ShitzerEditsStoreIntegersAndRefuseOthers) {
  ParameterGrid grid;
  TissueParameters p;
  LayOutParameterGrid(grid, GridMode::Shitzer, p, '.');
  grid.setCell(7, 1, "9");
  grid.setCell(1, 1, "999");  // the skin density is set only by the "Skin" button
  ASSERT_TRUE(EditParameterGrid(grid, 7, 1, GridMode::Shitzer, '.', p).ok());
  EXPECT_EQ(p.shitzer.hAir, 9);
  EXPECT_EQ(p.shitzer.rhoSkin, 1057);

  grid.setCell(4, 2, "1.5");
  const GridEditResult bad = EditParameterGrid(grid, 4, 2, GridMode::Shitzer, '.', p);
  EXPECT_EQ(bad.fault, GridEditFault::NotAnInteger);
  EXPECT_EQ(bad.text, "1.5");
  EXPECT_EQ(p.shitzer.cBlood, 3650);

  // An empty cell, or a cell whose label is not the expected one, is skipped.
  grid.setCell(4, 2, "");
  grid.setCell(6, 2, "X");
  grid.setCell(7, 2, "abc");
  EXPECT_TRUE(EditParameterGrid(grid, 4, 2, GridMode::Shitzer, '.', p).ok());
  EXPECT_EQ(p.shitzer.tAir, 24);
}

TEST(ParameterGrid, DotOnCommaSystemIsRefusedAndChangesNothing) {
  ParameterGrid grid;
  TissueParameters p;
  LayOutParameterGrid(grid, GridMode::ThermalWave, p, ',');
  grid.setCell(7, 1, "1.5");
  const GridEditResult r = EditParameterGrid(grid, 7, 1, GridMode::ThermalWave, ',', p);
  EXPECT_EQ(r.fault, GridEditFault::DotOnCommaSystem);
  EXPECT_EQ(p.wave.lambda, 0.33);

  grid.setCell(7, 1, "0,5");
  grid.setCell(10, 1, "3,5");
  grid.setCell(4, 1, "4000");
  ASSERT_TRUE(EditParameterGrid(grid, 7, 1, GridMode::ThermalWave, ',', p).ok());
  EXPECT_EQ(p.wave.lambda, 0.5);
  EXPECT_DOUBLE_EQ(p.wave.depthM, 0.0035);
  EXPECT_EQ(p.wave.heatCapacity, 4000);
}

TEST(ParameterGrid, DefaultButtons) {
  ParameterGrid grid;
  TissueParameters p;
  p.shitzer = {1, 2, 3, 4, 5, 6};
  p.wave = {7, 8.0, 9.0};
  ApplySkinDefaults(grid, GridMode::ThermalWave, ',', p);
  EXPECT_EQ(grid.cell(1, 1), "1057");
  EXPECT_EQ(grid.cell(4, 1), "3780");
  EXPECT_EQ(grid.cell(7, 1), "0,33");
  EXPECT_EQ(grid.cell(10, 1), "2");
  EXPECT_EQ(p.shitzer.rhoSkin, 1057);
  EXPECT_EQ(p.shitzer.cSkin, 3780);
  EXPECT_EQ(p.wave.heatCapacity, 3780);
  EXPECT_EQ(p.wave.lambda, 0.33);
  EXPECT_EQ(p.wave.depthM, 0.002);

  ApplySkinDefaults(grid, GridMode::Shitzer, '.', p);
  EXPECT_EQ(grid.cell(1, 2), "3780");
  ApplyBloodDefaults(grid, p);
  EXPECT_EQ(grid.cell(4, 2), "3650");
  EXPECT_EQ(grid.cell(4, 1), "1069");
  EXPECT_EQ(p.shitzer.cBlood, 3650);
  EXPECT_EQ(p.shitzer.rhoBlood, 1069);
  ApplyAirDefaults(grid, p);
  EXPECT_EQ(grid.cell(7, 1), "6");
  EXPECT_EQ(grid.cell(7, 2), "24");
  EXPECT_EQ(p.shitzer.hAir, 6);
  EXPECT_EQ(p.shitzer.tAir, 24);
}

}  // namespace
}  // namespace kelvora
