// The controls of the dump page: the server generation the dump is written
// for, the line breaks, and which statements it carries. The page around it
// loads them from the converter's dump options and stores them back.
#pragma once

#include <QWidget>

class QCheckBox;
class QRadioButton;

class dump_form : public QWidget {
public:
    explicit dump_form(QWidget* parent);

    // CREATE DATABASE only goes with CREATE TABLE: its box is enabled only
    // while that one is checked (its own check stays as it is).
    void follow_tables();

    QRadioButton* new_version;  // 4.1 or higher
    QRadioButton* old_version;
    QRadioButton* crlf;
    QRadioButton* lf;
    QCheckBox* lock_write;
    QCheckBox* ins_db;
    QCheckBox* ins_tables;
    QCheckBox* ins_comments;
};
