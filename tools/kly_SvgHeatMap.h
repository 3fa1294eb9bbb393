#pragma once

#include <string>
#include <vector>

// A heat map written as a self-contained SVG document: a grid of cells, one
// per (x, y) pair of two parameters, coloured by a value on a colour scale
// from its smallest to its largest value (a bar beside the grid shows the
// scale), the parameters' values along the axes, one cell marked. Cells are
// of equal size whatever the spacing of the values (a logarithmic range
// stays readable); a cell without a finite value is grey and crossed. Each
// cell is a <rect class="cell"> with data-x, data-y and data-value, the mark
// a <g class="mark">.
class kly_SvgHeatMap {
public:
  kly_SvgHeatMap(std::string title, std::string xLabel, std::string yLabel, std::string valueLabel);

  void setSubtitle(std::string subtitle) { subtitle_ = std::move(subtitle); }
  // The columns' x values, the rows' y values and values[row][column].
  void setGrid(std::vector<double> x, std::vector<double> y, std::vector<std::vector<double>> values);
  // Rings the cell and labels it.
  void mark(std::size_t column, std::size_t row, std::string label);

  std::string render() const;

  static constexpr int kWidth = 800;
  static constexpr int kHeight = 520;
  // Axis labels shown at most; the others are left out evenly.
  static constexpr std::size_t kMaxLabels = 12;

private:
  std::string title_, subtitle_, xLabel_, yLabel_, valueLabel_;
  std::vector<double> x_, y_;
  std::vector<std::vector<double>> values_;
  bool marked_ = false;
  std::size_t markColumn_ = 0, markRow_ = 0;
  std::string markLabel_;
};
