#pragma once

#include <QObject>

class Query;

// Connects a grid to a query.
class DataSource : public QObject
{
    Q_OBJECT
public:
    explicit DataSource(QObject *parent = nullptr) : QObject(parent) {}

    void setDataSet(Query *query)
    {
        m_dataSet = query;
        Q_EMIT dataSetChanged();
    }
    Query *DataSet() const { return m_dataSet; }

    void setEnabled(bool enabled)
    {
        if (m_enabled == enabled)
            return;
        m_enabled = enabled;
        Q_EMIT enabledChanged(enabled);
    }
    bool Enabled() const { return m_enabled; }

Q_SIGNALS:
    void dataSetChanged();
    void enabledChanged(bool enabled);

private:
    Query *m_dataSet = nullptr;
    bool m_enabled = true;
};
