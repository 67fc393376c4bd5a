#include "core/LoadingModel.h"

LoadingModel::LoadingModel(QObject* parent) : QObject(parent) {}

bool LoadingModel::isLoading() const
{
    return m_isLoading;
}

void LoadingModel::setIsLoading(bool isLoading)
{
    if (m_isLoading == isLoading)
        return;
    m_isLoading = isLoading;
    emit isLoadingChanged(m_isLoading);
}
